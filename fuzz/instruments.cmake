tavlo_fuzz(fuzz_instruments_text CORPUS instruments
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_instruments_text.cpp
  LIBS tavlo_instruments)
