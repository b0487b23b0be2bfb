# The update procedure: version guard, preparing commands, blocks, completion and failure report.
halvern_add_library(halvern_update
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/UpdateProcedure.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateBlocks.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UpdateFailureReport.cpp
    LIBS halvern_ui halvern_image halvern_device halvern_messages)
