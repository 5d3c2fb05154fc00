# JPEG reader, writer and lossless re-write.
moravel_add_test(NAME jpeg_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/jpeg_reader_test.cpp
  LIBS moravel_jpeg_codec)
