tavlo_test(devicetree_tests LABEL instruments
  SOURCES devicetree_test.cpp
  LIBS tavlo_instruments)
