// libjpeg's header needs size_t and FILE declared before it is included, and
// jerror.h (message codes, ERREXIT) comes after it.
#pragma once

// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on
