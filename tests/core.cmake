moravel_add_test(NAME core_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/core_strings_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core_platform_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/driver_test.cpp
  LIBS moravel_driver moravel_cli_options)
