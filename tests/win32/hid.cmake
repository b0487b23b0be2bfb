# The Windows HID host and clock, run under Wine against Wine's own HID devices.
halvern_add_test(win32_hid_host_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/HidHostWin32Test.cpp
        ${CMAKE_CURRENT_LIST_DIR}/HidHostWin32ExchangeTest.cpp
    LIBS halvern_win32 halvern_device
    WINDOWS_ONLY)
halvern_add_test(win32_clock_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ClockWin32Test.cpp
    LIBS halvern_win32
    WINDOWS_ONLY)
