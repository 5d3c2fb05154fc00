moravel_add_test(NAME reducer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reducer_test.cpp ${CMAKE_CURRENT_LIST_DIR}/reducer_reference.cpp
  LIBS moravel_reducer)
