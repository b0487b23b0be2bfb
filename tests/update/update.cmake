# The update procedure, natively in virtual time against the simulated unit.
halvern_add_test(halvern_update_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/UpdateRig.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateRunTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateFailureTests.cpp
    LIBS halvern_update halvern_sim halvern_test_support)
