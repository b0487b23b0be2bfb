# The shipped program is reproducible: the same commit built in any two folders gives the same
# bytes. Nothing of the source or build folder goes into the objects (__FILE__, debug paths); the
# program's own link flags (win32/app.cmake) leave out the time stamp and the debugging sections.
if(WIN32)
    # GCC tries the last given map first: the build folder, which may lie inside the sources.
    add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                        -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
endif()
