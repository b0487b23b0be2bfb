# The simulated unit as a HID device of the Windows stack (Wine). Its portable parts (report
# descriptor, option words, the pace read from its log) build in both builds so that they are
# tested natively too; the driver and its controller only in the Windows build.
halvern_add_library(halvern_sim_wine_tools SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/wine/SimPace.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wine/SimReportDescriptor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wine/SimUnitOptions.cpp)
if(WIN32)
    add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/wine ${PROJECT_BINARY_DIR}/sim/wine)
endif()
