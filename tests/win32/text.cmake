# Under Wine: the string table and the image resource against the portable table and the array,
# and the portable image test again, now against the resource.
halvern_add_test(halvern_win32_text_test WINDOWS_ONLY
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StringTableTest.cpp
    LIBS halvern_messages halvern_message_catalogue halvern_win32_image halvern_image_bytes halvern_rc_strings
         halvern_rc_firmware)
if(WIN32)
    target_compile_definitions(halvern_win32_text_test
        PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

halvern_add_test(halvern_win32_image_test WINDOWS_ONLY
    SOURCES ${PROJECT_SOURCE_DIR}/tests/update/FirmwareImageTest.cpp
    LIBS halvern_win32_image halvern_rc_firmware)
if(WIN32)
    target_compile_definitions(halvern_win32_image_test
        PRIVATE HALVERN_TEST_IMAGE_PATH="Z:${HALVERN_FIRMWARE_IMAGE}")
endif()
