# tavlo-cli gpib identifies every simulated model of the instrument catalogue.
if(TARGET tavlo-cli)
  tavlo_test(sim_catalogue_cli_tests LABEL sim
    SOURCES catalogue_cli_test.cpp
    LIBS tavlo_sim tavlo_instruments)
  target_compile_definitions(sim_catalogue_cli_tests PRIVATE TAVLO_CLI_PATH="$<TARGET_FILE:tavlo-cli>")
  add_dependencies(sim_catalogue_cli_tests tavlo-cli)
endif()

# The catalogue's simulated instruments on their own.
tavlo_test(sim_catalogue_tests LABEL sim
  SOURCES catalogue_sim_test.cpp
  LIBS tavlo_sim)
