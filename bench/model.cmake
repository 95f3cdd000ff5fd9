tavlo_bench(bench_measurement_file
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_measurement_file.cpp
  LIBS tavlo_model Qt6::Core)
tavlo_bench(bench_variables
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_variables.cpp
  LIBS tavlo_model Qt6::Core)
