# The program's own Windows resources: dialog template 110, icon 123, logo 121, manifest and
# version. halvern_rc_app is linked into HalvernUpdater.exe (and into tests that need them).
if(WIN32)
    enable_language(RC)
    set(HALVERN_ART_DIR "${CMAKE_CURRENT_SOURCE_DIR}/art")
    set(HALVERN_RESOURCES_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    configure_file(${CMAKE_CURRENT_SOURCE_DIR}/app.rc.in ${PROJECT_BINARY_DIR}/generated/app.rc @ONLY)
    add_library(halvern_rc_app OBJECT
        ${CMAKE_CURRENT_SOURCE_DIR}/dialog.rc
        ${PROJECT_BINARY_DIR}/generated/app.rc)
    # The resource compiler reports no included files: name them for the rebuild.
    set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/dialog.rc PROPERTIES
        OBJECT_DEPENDS ${HALVERN_RESOURCES_DIR}/ResourceIds.h)
    set_source_files_properties(${PROJECT_BINARY_DIR}/generated/app.rc PROPERTIES
        OBJECT_DEPENDS "${HALVERN_ART_DIR}/app.ico;${HALVERN_ART_DIR}/logo.bmp;${HALVERN_RESOURCES_DIR}/app.manifest;${HALVERN_RESOURCES_DIR}/ResourceIds.h")
endif()
