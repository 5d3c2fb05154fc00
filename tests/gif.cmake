moravel_add_test(NAME gif_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/gif_reader_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gif_writer_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gif_lzw_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/gif_lzw_reference.cpp
  LIBS moravel_gif)
