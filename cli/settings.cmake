# Settings-file helpers of the command-line front end.
add_library(moravel_settings_cli STATIC ${CMAKE_CURRENT_LIST_DIR}/settings_options.cpp)
target_link_libraries(moravel_settings_cli PUBLIC moravel_settings_store)
