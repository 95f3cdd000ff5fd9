tavlo_fuzz(fuzz_expr CORPUS expr
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_expr.cpp
  LIBS tavlo_expr)
