// WebP output through libwebp's encoder: lossy (the default) or lossless.
// The picture has no alpha channel (transparency was flattened while it was
// read), so neither mode writes one.
#pragma once

#include <cstdint>

#include "core/picture_to_write.h"

namespace formats {

// libwebp refuses larger sides.
inline constexpr int32_t kWebpMaxSide = 16383;

struct WebpOptions {
    int32_t quality = 75;  // 1-100; with lossless, the effort spent on compression
    bool lossless = false;
};

enum class WebpWriteStatus {
    Written,
    Unsupported,  // no pixels, or a layout other than 8 or 24 bits
    TooLarge,     // a side above kWebpMaxSide
    NoMemory,
    OutputFailed,  // the encoder failed otherwise, or the file cannot be written
};

struct WebpWriteResult {
    WebpWriteStatus status = WebpWriteStatus::OutputFailed;
    uint64_t bytes = 0;  // size of the file written
};

// Encodes `picture` (bottom-up rows, 24-bit or 8-bit with a palette) and
// writes it to `path` (created or truncated). A side above kWebpMaxSide is
// refused before anything is allocated.
WebpWriteResult writeWebp(const char16_t* path, const PictureToWrite& picture,
                          const WebpOptions& options);

}  // namespace formats
