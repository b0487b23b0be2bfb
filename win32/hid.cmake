# The Windows implementations of the HID host and the clock.
halvern_add_library(halvern_win32
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/HidHostWin32.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ClockWin32.cpp
    LIBS setupapi hid winmm)
