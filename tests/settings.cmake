# Settings file: reader, store, locating and the command-line helpers.
moravel_add_test(NAME settings_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/settings_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_locate_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_cli_test.cpp
  LIBS moravel_settings_store moravel_settings_cli)

# The start-up step checks the program's own name, so this test program is
# called "Pirex" and lives in a folder of its own (next to it, "Pirex.ini"
# would be taken as the settings file).
moravel_add_test(NAME settings_pirex_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/settings_pirex_test.cpp
  LIBS moravel_settings_store
  ENVIRONMENT "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/settings_pirex/config")
if(TARGET settings_pirex_test)
  set_target_properties(settings_pirex_test PROPERTIES
    OUTPUT_NAME Pirex
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/settings_pirex)
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/settings_pirex/config)
endif()
