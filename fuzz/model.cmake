tavlo_fuzz(fuzz_component_text CORPUS model
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_component_text.cpp
  LIBS tavlo_model)
