if(TARGET tavlo_engine AND TARGET tavlo_sim)
  tavlo_bench(bench_device_search
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_device_search.cpp
    LIBS tavlo_engine tavlo_sim Qt6::Core)
endif()
