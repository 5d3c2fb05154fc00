# Shrinking (area averaging) and the sharpening after it, and the driver's
# resize step that runs both.
add_library(moravel_resample STATIC
  ${CMAKE_CURRENT_LIST_DIR}/resampler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sharpen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize_step.cpp
)
target_link_libraries(moravel_resample PUBLIC moravel_core)
# The coverage arithmetic must round every double operation on its own, the
# same on every compiler and target: no fused multiply-add.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(moravel_resample PRIVATE -ffp-contract=off)
endif()
# The row loops (running sums, column sums) are written to be vectorised;
# GCC's default cost model at -O2 leaves most of them scalar.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(moravel_resample PRIVATE -ftree-vectorize -fvect-cost-model=dynamic)
endif()
