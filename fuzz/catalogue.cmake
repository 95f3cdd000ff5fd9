tavlo_fuzz(fuzz_catalogue_text CORPUS catalogue
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_catalogue_text.cpp
  LIBS tavlo_instruments)
