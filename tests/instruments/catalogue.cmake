tavlo_test(catalogue_tests LABEL instruments
  SOURCES simfixture.h device_test.cpp catalogue_test.cpp commandlist_test.cpp readings_test.cpp
  LIBS tavlo_instruments tavlo_sim tavlo_model)
