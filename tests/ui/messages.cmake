# The message catalogue and the formatter.
halvern_add_test(halvern_messages_test
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/MessageCatalogueTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/TextFormatTest.cpp
    LIBS halvern_messages halvern_message_catalogue)
