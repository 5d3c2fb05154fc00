moravel_add_test(NAME gif_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/gif_reader_test.cpp
  LIBS moravel_gif)
