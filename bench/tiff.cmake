moravel_add_benchmark(NAME tiff_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tiff_bench.cpp
  LIBS moravel_tiff)
