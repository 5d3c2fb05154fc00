moravel_add_benchmark(NAME gif_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gif_bench.cpp
  LIBS moravel_gif)
