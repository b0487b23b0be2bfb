# The message catalogue (made from resources/messages.def) and the bounded UTF-16 formatter.
halvern_add_library(halvern_messages
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/MessageCatalogue.cpp
        ${CMAKE_CURRENT_LIST_DIR}/TextFormat.cpp)
# The table includes the texts, so a change of messages.def rebuilds it (the compiler's
# dependency scan sees the include); listing it here shows it in IDEs.
target_sources(halvern_messages PRIVATE ${PROJECT_SOURCE_DIR}/resources/messages.def)
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/messages.def PROPERTIES HEADER_FILE_ONLY ON)
