# libFuzzer target of the device link, built from the link's own sources with the fuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer instrumentation (clang only).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (cmake --preset fuzz)")
endif()

set(_halvern_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
get_target_property(_halvern_device_sources halvern_device SOURCES)
add_executable(fuzz_device_link ${CMAKE_CURRENT_LIST_DIR}/FuzzDeviceLink.cpp
    ${_halvern_device_sources})
target_compile_options(fuzz_device_link PRIVATE ${_halvern_fuzz_flags})
target_link_options(fuzz_device_link PRIVATE ${_halvern_fuzz_flags})
target_link_libraries(fuzz_device_link PRIVATE halvern_warnings)
# Bounds of the exchange buffers are checked at their size, not at their capacity.
target_compile_definitions(fuzz_device_link PRIVATE _GLIBCXX_SANITIZE_VECTOR)

# A fixed number of inputs from an empty corpus with a fixed seed, so the run is repeatable.
add_test(NAME fuzz_device_link
    COMMAND fuzz_device_link -runs=1000000 -seed=20261207 -max_len=1024 -print_final_stats=1)
set_tests_properties(fuzz_device_link PROPERTIES TIMEOUT 900)
