# Windows tests of the program: its dialog operations, its dialog in this process, and the real
# HalvernUpdater.exe driven from outside. Captures are kept in the build tree's screenshots/.
if(WIN32)
    set(HALVERN_SCREENSHOT_DIR "${PROJECT_BINARY_DIR}/screenshots")
    file(MAKE_DIRECTORY "${HALVERN_SCREENSHOT_DIR}")
    # Wine maps the Linux root to drive Z:.
    string(REPLACE "/" "\\\\" _halvern_screenshot_dir_windows "Z:${HALVERN_SCREENSHOT_DIR}")

    halvern_add_test(win32_dialog_host_test WINDOWS_ONLY
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProgressWindowTest.cpp
        LIBS halvern_win32_dialog halvern_messages)
    halvern_link_program_resources(win32_dialog_host_test)

    halvern_add_test(win32_main_dialog_test WINDOWS_ONLY
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/MainDialogTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/WindowCapture.cpp
            ${CMAKE_CURRENT_LIST_DIR}/WindowDpiTest.cpp
        LIBS halvern_win32_app)
    halvern_link_program_resources(win32_main_dialog_test)
    target_compile_definitions(win32_main_dialog_test PRIVATE
        "HALVERN_SCREENSHOT_DIR=L\"${_halvern_screenshot_dir_windows}\"")
endif()

if(WIN32)
    # The shipping program, driven from outside and read as a file.
    string(REPLACE "/" "\\\\" _halvern_updater_windows "Z:$<TARGET_FILE:HalvernUpdater>")
    halvern_add_test(win32_program_test WINDOWS_ONLY
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/AppDriverTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/ProgramResourcesTest.cpp
            ${CMAKE_CURRENT_LIST_DIR}/WindowCapture.cpp
        LIBS halvern_messages version gdi32 user32)
    add_dependencies(win32_program_test HalvernUpdater)
    target_compile_definitions(win32_program_test PRIVATE
        "HALVERN_UPDATER_EXE=L\"${_halvern_updater_windows}\""
        "HALVERN_SCREENSHOT_DIR=L\"${_halvern_screenshot_dir_windows}\"")
endif()

if(WIN32)
    # "Update" on the real dialog against the simulated unit, in virtual time.
    halvern_add_test(win32_update_dialog_test WINDOWS_ONLY
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateDialogTest.cpp
        LIBS halvern_win32_app halvern_sim)
    halvern_link_program_resources(win32_update_dialog_test)
endif()
