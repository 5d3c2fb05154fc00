moravel_add_benchmark(NAME reducer_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reducer_bench.cpp ${CMAKE_SOURCE_DIR}/tests/reducer_reference.cpp
  LIBS moravel_reducer)
