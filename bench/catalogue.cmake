tavlo_bench(bench_catalogue
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_catalogue.cpp
  LIBS tavlo_instruments Qt6::Core)
