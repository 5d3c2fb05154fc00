# Minimal native-only dependency setup; the full version (libjpeg-turbo for
# both targets, Wine, fuzzers) replaces this file.
find_package(ZLIB REQUIRED)
add_library(moravel::zlib ALIAS ZLIB::ZLIB)
find_package(JPEG REQUIRED)
add_library(moravel::jpeg ALIAS JPEG::JPEG)
if(MORAVEL_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
endif()

function(moravel_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT
    "MORAVEL_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data;MORAVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

function(moravel_add_fuzzer)
endfunction()
