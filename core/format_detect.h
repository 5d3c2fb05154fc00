// Recognises a source file's kind from its first 8 bytes, not its extension.
#pragma once

#include <cstdint>

#include "core/image_record.h"

ImageFormat detectFormat(const char16_t* path);
// The same decision on bytes already read (fewer than 8 gives kFormatUnknown).
ImageFormat detectFormatOfBytes(const uint8_t* bytes, uint32_t count);
