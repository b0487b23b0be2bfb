# The simulated programming unit, its HID host and the virtual clock: the test bench of every
# subsystem. SimulatedUnit.cpp stands alone (no heap, no exceptions) for the driver build.
halvern_add_library(halvern_sim SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SimulatedUnit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VirtualClock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimHidHost.cpp)
