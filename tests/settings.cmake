# Settings file: reader, store, locating and the command-line helpers.
moravel_add_test(NAME settings_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/settings_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp
  LIBS moravel_settings_store)
