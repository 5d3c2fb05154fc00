# The settings file: reading, saving and locating "Pirex.ini".
add_library(moravel_settings_store STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_file_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_locate.cpp
)
target_link_libraries(moravel_settings_store PUBLIC moravel_core)
