# End-to-end scenarios through the real Windows HID stack under Wine: the program, the simulated
# unit's driver and controller, and a UI driver, all on one wineserver inside one Xvfb.
if(NOT WIN32)
    return()
endif()

add_executable(HalvernUiDriver ${CMAKE_CURRENT_LIST_DIR}/UiDriver.cpp)
target_compile_options(HalvernUiDriver PRIVATE -municode)
target_link_options(HalvernUiDriver PRIVATE -municode)
target_link_libraries(HalvernUiDriver PRIVATE comctl32 gdi32 user32 ntdll halvern_warnings)

# Paced exchanges through the program's device link and HID host, for the stress scenarios.
add_executable(HalvernExchangeStress ${CMAKE_CURRENT_LIST_DIR}/ExchangeStress.cpp)
target_compile_options(HalvernExchangeStress PRIVATE -municode)
target_link_options(HalvernExchangeStress PRIVATE -static -municode)
target_link_libraries(HalvernExchangeStress PRIVATE halvern_device halvern_win32 halvern_warnings)

set(HALVERN_E2E_PREFIX "${PROJECT_BINARY_DIR}/e2e-wineprefix")
set(HALVERN_E2E_SCENARIOS
    no_unit ready_tessavo ready_merrowin boot_mode no_controller incompatible
    arrival_and_removal foreign_device full_update_three_times full_update_unfixed_driver
    stress_posted_reads stress_reads_after_write version_question_no
    version_question_yes erase_fails unplug_during_blocks unit_stops_answering plug_cycles
    odd_report_lengths)
# Refusals by the unit, the way back after an unplug, one program at a time.
list(APPEND HALVERN_E2E_SCENARIOS
    block_refused_without_code lock_refused info_refused_on_newer second_start
    recovery_after_unplug)
foreach(scenario IN LISTS HALVERN_E2E_SCENARIOS)
    add_test(NAME e2e_${scenario}
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run-scenario.sh ${scenario})
    set_tests_properties(e2e_${scenario} PROPERTIES
        ENVIRONMENT "HALVERN_BUILD=${PROJECT_BINARY_DIR};HALVERN_SOURCE=${PROJECT_SOURCE_DIR};WINEPREFIX=${HALVERN_E2E_PREFIX}"
        RUN_SERIAL TRUE
        LABELS e2e
        TIMEOUT 300)
endforeach()
set_tests_properties(e2e_full_update_three_times PROPERTIES TIMEOUT 900)
