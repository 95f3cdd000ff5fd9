tavlo_fuzz(fuzz_modbus_replies CORPUS modbus
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_modbus_replies.cpp
  LIBS tavlo_instruments)
