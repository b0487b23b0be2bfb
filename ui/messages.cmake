# The bounded UTF-16 formatter of the texts. The texts themselves are the string table of the
# program (resources/strings.rc); the tests carry a portable copy (tests/support).
halvern_add_library(halvern_messages
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/TextFormat.cpp)
