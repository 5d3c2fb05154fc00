// Every format moravel converts: the native codecs, then the libraries'
// codecs (WebP output through libwebp; on Linux also WebP, HEIC and AVIF
// input, which on Windows the import plug-ins read). Only the command line takes this
// table; the Windows program converts with the native formats alone and so
// carries no encoder library it never uses.
#pragma once

#include <span>

#include "driver/format_table.h"

FormatTable everyFormat();
// The options given by a bare switch (--lossless), for the formats of everyFormat().
std::span<const FormatSwitch> everyFormatSwitch();
