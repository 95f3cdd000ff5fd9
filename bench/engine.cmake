tavlo_bench(bench_engine_tick
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_engine_tick.cpp
  LIBS tavlo_engine Qt6::Core)
