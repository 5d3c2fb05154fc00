moravel_add_fuzzer(NAME gif_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gif_reader_fuzz.cpp
  LIBS moravel_gif
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/gif)
moravel_add_fuzzer(NAME gif_lzw_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gif_lzw_fuzz.cpp
  LIBS moravel_gif)
