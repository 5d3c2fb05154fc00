moravel_add_test(NAME tiff_test
  SOURCES tiff_reader_test.cpp tiff_hostile_test.cpp tiff_unpack_test.cpp
          tiff_differential_test.cpp
  LIBS moravel_tiff)
