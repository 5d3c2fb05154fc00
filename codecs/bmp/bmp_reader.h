// Reader for Windows bitmaps: uncompressed 1-, 4-, 8- and 24-bit files and
// 16- and 32-bit files, uncompressed or with bit-field masks, stored
// bottom-up. 1- and 4-bit pictures are widened to 8-bit indices, 16- and
// 32-bit ones converted to 24 bits (alpha dropped). Everything else
// (run-length compression, top-down rows, other depths) is refused so that
// the caller can try elsewhere.
#pragma once

#include <cstdint>

#include "codecs/mapped_input.h"
#include "core/image_record.h"

class BmpReader : public ReaderEntries<BmpReader> {
  public:
    BmpReader() = default;
    BmpReader(const BmpReader&) = delete;
    BmpReader& operator=(const BmpReader&) = delete;

    // Decodes the file at `path` into `record` (8-bit indexed or 24-bit,
    // bottom-up). When `record` is null one is allocated from the private
    // heap; the caller then owns it. Returns the record, or null on failure
    // (the pixel pointer is then null and status() tells why).
    // The entries read(path, record) and readMemory(data, size, record) come
    // from ReaderEntries.
    uint32_t status() const { return input_.status; }

  private:
    friend class ReaderEntries<BmpReader>;
    ImageRecord* readFrom(const ReadSource& source, ImageRecord* record);
    bool decode(ImageRecord& record);
    // Copies up to `wanted` colour-table entries (at most `limit`) from offset 54.
    void copyColorTable(ImageRecord& record, uint64_t wanted, uint32_t limit) const;

    MappedInput input_;
    BitmapInfoHeader info_{};   // the 40 bytes from offset 14
    uint32_t pixelOffset_ = 0;  // bfOffBits
};
