# Windows resources of the text and the image, as object libraries that the program (and the
# tests under Wine) link in: halvern_rc_strings (the string table) and halvern_rc_firmware (the
# carried image as RCDATA 119). Object files, not static libraries, since nothing refers to a
# resource by symbol and a static library's members would be dropped.
if(WIN32)
    enable_language(RC)

    add_library(halvern_rc_strings OBJECT ${CMAKE_CURRENT_LIST_DIR}/strings.rc)
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/strings.rc PROPERTIES
        OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/messages.def)

    # configure_file makes the image's path absolute in the script.
    configure_file(${CMAKE_CURRENT_LIST_DIR}/firmware.rc.in
                   ${PROJECT_BINARY_DIR}/generated/firmware.rc @ONLY)
    add_library(halvern_rc_firmware OBJECT ${PROJECT_BINARY_DIR}/generated/firmware.rc)
    # The resource compiler reads the image itself; a new image must rebuild the object.
    set_source_files_properties(${PROJECT_BINARY_DIR}/generated/firmware.rc PROPERTIES
        OBJECT_DEPENDS "${HALVERN_FIRMWARE_IMAGE};${CMAKE_CURRENT_LIST_DIR}/ResourceIds.h")
endif()
