moravel_add_test(NAME png_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/png_reader_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/png_filters_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/png_writer_test.cpp
  LIBS moravel_png)
