# Modbus RTU controllers and the flow-server link against their simulators.
tavlo_test(modbus_tests LABEL instruments
  SOURCES simfixture.h modbus_test.cpp voegtlin_test.cpp flowserver_test.cpp
  LIBS tavlo_instruments tavlo_sim)
