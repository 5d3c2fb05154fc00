moravel_add_benchmark(NAME jpeg_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/jpeg_bench.cpp
  LIBS moravel_jpeg_codec)
