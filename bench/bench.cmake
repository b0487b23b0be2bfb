# Figures of a full update against the simulated unit; a plain program, not a test. Under Windows
# its real pauses go through the program's own clock.
add_executable(halvern_bench_update ${CMAKE_CURRENT_LIST_DIR}/UpdateBench.cpp)
target_link_libraries(halvern_bench_update PRIVATE halvern_update halvern_image halvern_sim
    halvern_message_catalogue halvern_warnings)
if(WIN32)
    target_link_libraries(halvern_bench_update PRIVATE halvern_win32)
endif()
