tavlo_bench(bench_expr
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_expr.cpp
  LIBS tavlo_expr)
