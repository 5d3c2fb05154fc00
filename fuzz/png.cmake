moravel_add_fuzzer(NAME png_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/png_reader_fuzz.cpp
  LIBS moravel_png
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/png)
