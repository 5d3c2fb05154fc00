moravel_add_fuzzer(NAME bmp_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bmp_reader_fuzz.cpp
  LIBS moravel_bmp
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/bmp)
