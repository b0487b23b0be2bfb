# HalvernUpdater.exe, the shipping program, and the Win32 libraries it is made of (also linked by
# the Windows tests that drive the real dialog in their own process).
halvern_add_library(halvern_win32_dialog
    SOURCES
        ${CMAKE_CURRENT_SOURCE_DIR}/AppGlobals.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/DialogHostWin32.cpp
    LIBS comctl32 user32)

halvern_add_library(halvern_win32_app
    SOURCES
        ${CMAKE_CURRENT_SOURCE_DIR}/MainDialog.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/PaintLogo.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/WindowDpi.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/SingleInstance.cpp
    LIBS
        halvern_win32_dialog halvern_update halvern_win32_image halvern_ui halvern_device halvern_messages halvern_win32
        comctl32 msimg32 setupapi hid winmm gdi32 user32)

# The resources that the program and the dialog tests carry. Object libraries: their objects
# reach only targets that link them directly, hence a function rather than an interface target.
function(halvern_link_program_resources target)
    target_link_libraries(${target} PRIVATE
        halvern_rc_app
        $<TARGET_NAME_IF_EXISTS:halvern_rc_strings> $<TARGET_NAME_IF_EXISTS:halvern_rc_firmware>)
endfunction()

add_executable(HalvernUpdater WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/WinMain.cpp)
# A release file: no debugging sections or symbols (-s), and no link time stamp in its headers, so
# that two builds of one commit are the same bytes (cmake/Reproducible.cmake; checked by
# tests/win32/release.cmake).
target_link_options(HalvernUpdater PRIVATE -static -municode -s -Wl,--no-insert-timestamp)
target_link_libraries(HalvernUpdater PRIVATE halvern_win32_app halvern_warnings)
halvern_link_program_resources(HalvernUpdater)
