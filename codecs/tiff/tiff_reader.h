// Reader for uncompressed, strip-organised TIFF files: the first image of
// bilevel, 4- and 8-bit grayscale (white-is-zero and black-is-zero), 1-, 4-
// and 8-bit palette, and 8- or 16-bit-per-sample RGB files, in either byte
// order. Everything else is refused so that the caller can try elsewhere.
#pragma once

#include <cstdint>

#include "codecs/mapped_input.h"
#include "codecs/tiff/tiff_directory.h"
#include "codecs/tiff/tiff_unpack.h"
#include "core/image_record.h"
#include "platform/owned_memory.h"

class TiffReader : public ReaderEntries<TiffReader> {
  public:
    TiffReader() = default;
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    // Decodes the file at `path` into `record` (8-bit indexed or 24-bit,
    // bottom-up). When `record` is null one is allocated from the private
    // heap; the caller then owns it. Returns the record, or null on failure
    // (the pixel pointer is then null and status() tells why).
    // The entries read(path, record) and readMemory(data, size, record) come
    // from ReaderEntries.
    uint32_t status() const { return input_.status; }

  private:
    friend class ReaderEntries<TiffReader>;
    ImageRecord* readFrom(const ReadSource& source, ImageRecord* record);
    bool decode(ImageRecord& record);
    bool choosePlan(ImageRecord& record);
    bool checkStrips(uint64_t& totalBytes);
    bool gatherStrips(uint64_t rowBytes);
    void readPalette(ImageRecord& record);
    void unpackRows(ImageRecord& record) const;
    void readResolution(ImageRecord& record) const;
    int32_t pixelsPerMetre(uint32_t rationalOffset) const;
    void releaseFileState();

    MappedInput input_;
    TiffDirectory directory_;  // byte order, cursor readers and tag values

    // Decoding plan.
    int outputBitCount_ = 0;  // 8 or 24
    uint32_t outputStride_ = 0;
    uint64_t sourceRowBytes_ = 0;
    TiffRowUnpacker unpackRow_ = nullptr;

    // The strips in directory order: the view itself when they follow one
    // another in the file, else a copy in stripBuffer_.
    const uint8_t* strips_ = nullptr;
    platform::PageBuffer stripBuffer_;
};
