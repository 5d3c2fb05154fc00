# The real moravel program on pictures made by an independent tool.
if(TARGET moravel)
  moravel_add_script_test(NAME cli_e2e
    COMMAND ${MORAVEL_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/cli_e2e_test.py
    PLATFORMS native windows
    DEPENDS moravel)
endif()
