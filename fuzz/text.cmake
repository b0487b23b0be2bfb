# The bounded formatter and AppendText under random input. The formatter is compiled into the
# target itself, so that it is instrumented for coverage and checked by the sanitizers.
add_executable(halvern_text_fuzz ${CMAKE_CURRENT_LIST_DIR}/TextFormatFuzz.cpp
                                 ${PROJECT_SOURCE_DIR}/ui/TextFormat.cpp)
target_compile_options(halvern_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(halvern_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(halvern_text_fuzz PRIVATE halvern_warnings)
add_test(NAME halvern_text_fuzz COMMAND halvern_text_fuzz -max_total_time=60 -seed=1)
