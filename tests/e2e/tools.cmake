# The portable parts of the simulated unit's driver and controller, in both builds.
halvern_add_test(sim_wine_tools_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SimWineToolsTests.cpp
    LIBS halvern_sim_wine_tools)
