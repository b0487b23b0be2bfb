# Tests of the device link against the simulated unit and its HID host.
halvern_add_test(device_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/DeviceBench.cpp
        ${CMAKE_CURRENT_LIST_DIR}/CommandsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/DiscoveryTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/IdentificationTest.cpp
    LIBS halvern_device halvern_sim)
