moravel_add_benchmark(NAME bmp_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_bench.cpp
  LIBS moravel_bmp)
