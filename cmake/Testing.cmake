# Tests: GoogleTest from Debian's packages natively; in the cross build the googletest sources,
# built with MinGW, and every test binary run under Wine (cmake/wine-run.sh) in the build tree's
# private prefix, one at a time.
if(CMAKE_CROSSCOMPILING)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest REQUIRED)
    include(GoogleTest)
endif()

set(HALVERN_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix")

# halvern_add_test(name SOURCES ... LIBS ... [WINDOWS_ONLY])
function(halvern_add_test name)
    cmake_parse_arguments(ARG "WINDOWS_ONLY" "" "SOURCES;LIBS" ${ARGN})
    if(ARG_WINDOWS_ONLY AND NOT WIN32)
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main halvern_warnings)
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES
            ENVIRONMENT "WINEPREFIX=${HALVERN_WINEPREFIX}"
            RUN_SERIAL TRUE
            TIMEOUT 600
            # Wine's own report of a crash, in case the exit code does not show it.
            FAIL_REGULAR_EXPRESSION "wine: Unhandled")
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()
