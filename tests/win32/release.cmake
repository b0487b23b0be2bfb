# The shipped program as a file: a release without debugging sections, the same bytes when the
# same sources are built again elsewhere. Builds the program a second time (about a minute).
if(WIN32)
    add_test(NAME win32_program_reproducible
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/reproducible-build.sh
            ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR} $<TARGET_FILE:HalvernUpdater>
            ${CMAKE_BUILD_TYPE} ${HALVERN_FIRMWARE_IMAGE} ${HALVERN_FIRMWARE_VERSION})
    set_tests_properties(win32_program_reproducible PROPERTIES
        RUN_SERIAL TRUE
        LABELS release
        TIMEOUT 900)
endif()
