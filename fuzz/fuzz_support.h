// Shared pieces of the reader fuzz targets: a temporary file for what a
// target writes (readers take their input straight from memory), and the
// image record's invariants that every record a reader hands back must keep.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "core/image_record.h"
#include "platform/platform.h"

// A temporary file made once per process and removed at exit.
class FuzzFile {
  public:
    explicit FuzzFile(const char16_t* prefix) {
        char16_t folder[280];
        if (platform::tempFolder(folder, 280) == 0 ||
            !platform::createUniqueTempFile(folder, prefix, path_, 300))
            std::abort();
    }
    ~FuzzFile() { platform::deleteFile(path_); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    const char16_t* path() const { return path_; }

  private:
    char16_t path_[300] = {};
};

// Aborts unless the record is a valid decoded picture of the given format,
// and touches its whole buffer (the four spare bytes included) so that a
// short allocation shows.
inline void checkRecordInvariants(const ImageRecord& record, uint32_t format) {
    const BitmapInfoHeader& h = record.header;
    if (!record.pixels || h.biWidth < 1 || h.biHeight < 1 || h.biSize != 40 || h.biPlanes != 1 ||
        (h.biBitCount != 8 && h.biBitCount != 24) || h.biXPelsPerMeter < 0 ||
        h.biYPelsPerMeter < 0 || h.biCompression != 0 || h.biClrUsed != 0 ||
        record.sourceFormat != format)
        std::abort();
    const uint64_t size = uint64_t{rowStride(h.biWidth, h.biBitCount)} * uint64_t(h.biHeight);
    volatile uint8_t sink = 0;
    for (uint64_t i = 0; i < size; i += 4096) sink = sink + record.pixels[i];
    sink = sink + record.pixels[size + 3];
}
