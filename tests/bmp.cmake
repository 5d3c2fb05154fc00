moravel_add_test(NAME bmp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_reader_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bmp_writer_test.cpp
  LIBS moravel_bmp)
