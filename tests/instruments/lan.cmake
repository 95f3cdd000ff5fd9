tavlo_test(lan_tests LABEL instruments
  SOURCES lan_test.cpp
  LIBS tavlo_instruments tavlo_sim tavlo_model)
