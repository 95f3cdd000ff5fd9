tavlo_bench(bench_modbus
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_modbus.cpp
  LIBS tavlo_instruments tavlo_sim Qt6::Core)
