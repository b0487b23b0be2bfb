halvern_add_test(sim_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/SimulatedUnitTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SimHidHostTests.cpp
    LIBS halvern_sim)
