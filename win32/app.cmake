# HalvernUpdater.exe, the shipping program, and the Win32 dialog operations it is built from.
halvern_add_library(halvern_win32_dialog
    SOURCES
        ${CMAKE_CURRENT_SOURCE_DIR}/AppGlobals.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/DialogHostWin32.cpp
    LIBS comctl32)

add_executable(HalvernUpdater WIN32
    ${CMAKE_CURRENT_SOURCE_DIR}/WinMain.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/MainDialog.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/PaintLogo.cpp)
target_link_options(HalvernUpdater PRIVATE -static -municode)
target_link_libraries(HalvernUpdater PRIVATE
    halvern_rc_app
    $<TARGET_NAME_IF_EXISTS:halvern_rc_strings> $<TARGET_NAME_IF_EXISTS:halvern_rc_firmware>
    halvern_win32_dialog halvern_update
    # Right after the update procedure, so that its LoadFirmwareImage is the resource one.
    $<TARGET_NAME_IF_EXISTS:halvern_win32_image>
    halvern_ui halvern_device halvern_messages halvern_win32
    comctl32 msimg32 setupapi hid winmm gdi32
    halvern_warnings)
