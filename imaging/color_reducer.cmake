add_library(moravel_reducer STATIC
  ${CMAKE_CURRENT_LIST_DIR}/color_reducer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/color_reducer_median_cut.cpp
  ${CMAKE_CURRENT_LIST_DIR}/color_reducer_nearest.cpp
)
target_link_libraries(moravel_reducer PUBLIC moravel_core)
