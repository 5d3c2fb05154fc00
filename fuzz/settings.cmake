moravel_add_fuzzer(NAME settings_reader_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/settings_reader_fuzz.cpp
  LIBS moravel_settings_store
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/settings)
