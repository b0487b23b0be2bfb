# Warnings are errors for the project's own targets, in both builds. Third-party code (GoogleTest)
# is built without them.
add_library(halvern_warnings INTERFACE)
target_compile_options(halvern_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)

if(HALVERN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# A project library: its sources, the warnings, and the given dependencies.
function(halvern_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE halvern_warnings)
endfunction()
