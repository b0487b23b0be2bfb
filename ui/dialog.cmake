# The portable user-interface logic: presence handling, version panel, notice window, logo geometry.
halvern_add_library(halvern_ui
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/WindowGeometry.cpp
        ${CMAKE_CURRENT_LIST_DIR}/NoticeWindow.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PresenceHandling.cpp
        ${CMAKE_CURRENT_LIST_DIR}/VersionPanel.cpp
    LIBS halvern_device halvern_messages)
