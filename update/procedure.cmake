# The update procedure: version guard, preparing commands, blocks, completion and failure report.
# LoadFirmwareImage comes from the program that links it: halvern_image (the generated array) or,
# in the Windows program, halvern_win32_image (RCDATA 119).
halvern_add_library(halvern_update
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/UpdateProcedure.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateBlocks.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateFailureReport.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateShared.cpp
    LIBS halvern_ui halvern_device halvern_messages)
