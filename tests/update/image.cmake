# The carried image as LoadFirmwareImage gives it: natively the generated array; under Windows the
# same test runs against the RCDATA resource (tests/win32/text.cmake).
if(CMAKE_CROSSCOMPILING)
    # Under Wine the Linux file system is drive Z:.
    set(_halvern_test_image_path "Z:${HALVERN_FIRMWARE_IMAGE}")
else()
    set(_halvern_test_image_path "${HALVERN_FIRMWARE_IMAGE}")
endif()
halvern_add_test(halvern_image_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/FirmwareImageTest.cpp
    LIBS halvern_image)
target_compile_definitions(halvern_image_test
    PRIVATE HALVERN_TEST_IMAGE_PATH="${_halvern_test_image_path}")

# The configure-time checks of the image, run as a script on images the build must refuse, and
# on the configured image, which it must accept.
if(NOT CMAKE_CROSSCOMPILING)
    set(_halvern_bad_images "${CMAKE_CURRENT_BINARY_DIR}/bad-images")
    file(WRITE "${_halvern_bad_images}/empty.bin" "")
    file(WRITE "${_halvern_bad_images}/six-bytes.bin" "abcdef")
    foreach(_case IN ITEMS "empty.bin;is empty" "six-bytes.bin;not a multiple of 4"
                           "missing.bin;not found")
        list(GET _case 0 _file)
        list(GET _case 1 _expected)
        add_test(NAME halvern_image_check_refuses_${_file}
                 COMMAND ${CMAKE_COMMAND} -DHALVERN_FIRMWARE_IMAGE=${_halvern_bad_images}/${_file}
                         -DHALVERN_FIRMWARE_VERSION=0x0408
                         -DPROJECT_BINARY_DIR=${_halvern_bad_images}/out
                         -P ${PROJECT_SOURCE_DIR}/cmake/FirmwareImage.cmake)
        set_tests_properties(halvern_image_check_refuses_${_file} PROPERTIES
                             PASS_REGULAR_EXPRESSION "${_expected}")
    endforeach()
    add_test(NAME halvern_image_check_accepts_configured_image
             COMMAND ${CMAKE_COMMAND} -DHALVERN_FIRMWARE_IMAGE=${HALVERN_FIRMWARE_IMAGE}
                     -DHALVERN_FIRMWARE_VERSION=${HALVERN_FIRMWARE_VERSION}
                     -DPROJECT_BINARY_DIR=${_halvern_bad_images}/out
                     -P ${PROJECT_SOURCE_DIR}/cmake/FirmwareImage.cmake)
endif()
