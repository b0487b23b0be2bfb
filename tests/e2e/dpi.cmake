# The dialog at 96, 144 and 192 DPI: the same scenarios run in a prefix of their own, whose DPI
# each of them sets, so that the other scenarios keep 96 DPI.
if(NOT WIN32)
    return()
endif()

add_executable(HalvernLookProbe ${CMAKE_CURRENT_LIST_DIR}/LookProbe.cpp)
target_compile_options(HalvernLookProbe PRIVATE -municode)
target_link_options(HalvernLookProbe PRIVATE -municode)
target_link_libraries(HalvernLookProbe PRIVATE msimg32 gdi32 user32 halvern_warnings)

foreach(dpi 96 144 192)
    add_test(NAME e2e_dpi_${dpi}
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run-scenario.sh dpi_${dpi})
    set_tests_properties(e2e_dpi_${dpi} PROPERTIES
        ENVIRONMENT "HALVERN_BUILD=${PROJECT_BINARY_DIR};HALVERN_SOURCE=${PROJECT_SOURCE_DIR};WINEPREFIX=${PROJECT_BINARY_DIR}/e2e-dpi-wineprefix"
        RUN_SERIAL TRUE
        LABELS e2e
        TIMEOUT 300)
endforeach()
