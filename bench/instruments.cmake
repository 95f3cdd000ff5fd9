tavlo_bench(bench_serial_transaction
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_serial_transaction.cpp
  LIBS tavlo_instruments tavlo_sim Qt6::Core)
