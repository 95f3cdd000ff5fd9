# Modbus RTU controllers and the flow-server link against their simulators.
tavlo_test(modbus_tests LABEL instruments
  SOURCES simfixture.h modbus_test.cpp voegtlin_test.cpp flowserver_test.cpp
  LIBS tavlo_instruments tavlo_sim)

# The operator's modbus and mfc commands against the simulated controllers.
if(TARGET tavlo-cli)
  tavlo_test(modbus_cli_tests LABEL instruments
    SOURCES cli_modbus_test.cpp
    LIBS tavlo_sim)
  target_compile_definitions(modbus_cli_tests PRIVATE TAVLO_CLI_PATH="$<TARGET_FILE:tavlo-cli>")
  add_dependencies(modbus_cli_tests tavlo-cli)
endif()

# The tools against tavlo-sim's standard laboratory.
if(TARGET tavlo-cli AND TARGET tavlo-sim)
  tavlo_test(modbus_tavlosim_tests LABEL instruments
    SOURCES tavlosim_modbus_test.cpp
    LIBS tavlo_common)
  target_compile_definitions(modbus_tavlosim_tests PRIVATE
    TAVLO_CLI_PATH="$<TARGET_FILE:tavlo-cli>" TAVLO_SIM_PATH="$<TARGET_FILE:tavlo-sim>")
  add_dependencies(modbus_tavlosim_tests tavlo-cli tavlo-sim)
endif()
