# Figures of a full update against the simulated unit; a plain program, not a test.
add_executable(halvern_bench_update ${CMAKE_CURRENT_LIST_DIR}/UpdateBench.cpp)
target_link_libraries(halvern_bench_update PRIVATE halvern_update halvern_sim halvern_warnings)
