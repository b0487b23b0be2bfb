# The device link: the unit record, discovery, the command reports and identification.
halvern_add_library(halvern_device
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/UnitConnection.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Commands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Discovery.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Identification.cpp)
