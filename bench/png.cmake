moravel_add_benchmark(NAME png_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/png_bench.cpp
  LIBS moravel_png)
