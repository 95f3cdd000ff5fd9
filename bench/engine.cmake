tavlo_bench(bench_engine_tick
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_engine_tick.cpp
  LIBS tavlo_engine Qt6::Core)
if(TARGET tavlo_sim)
  tavlo_bench(bench_node_overhead
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_node_overhead.cpp
    LIBS tavlo_engine tavlo_sim Qt6::Core)
endif()
