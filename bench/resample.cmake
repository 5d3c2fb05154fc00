moravel_add_benchmark(NAME resample_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resample_bench.cpp
  LIBS moravel_resample)
