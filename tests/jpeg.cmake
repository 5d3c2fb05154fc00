# JPEG reader, writer and lossless re-write: one executable, one ctest entry.
moravel_add_test(NAME jpeg_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_reader_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_writer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_copy_test.cpp
  LIBS moravel_jpeg_codec)
