moravel_add_fuzzer(NAME jpeg_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_reader_fuzz.cpp
  LIBS moravel_jpeg_codec
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/jpeg)
