moravel_add_fuzzer(NAME tiff_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tiff_reader_fuzz.cpp
  LIBS moravel_tiff
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/tiff)
