moravel_add_fuzzer(NAME tiff_reader_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tiff_reader_fuzz.cpp
  LIBS moravel_tiff
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/tiff
  DICT ${CMAKE_CURRENT_LIST_DIR}/tiff.dict)
