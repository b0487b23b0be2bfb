# Tests of the portable user-interface logic against the fake dialog and the simulated unit.
halvern_add_test(halvern_ui_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/WindowGeometryTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/NoticeWindowTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PresenceHandlingTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/VersionPanelTest.cpp
    LIBS halvern_ui halvern_sim halvern_test_support)
