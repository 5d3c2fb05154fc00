moravel_add_test(NAME resample_resampler_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/resample_resampler_test.cpp
  LIBS moravel_resample)
