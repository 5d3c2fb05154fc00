// PNG decoder into an opaque 8-bit indexed or 24-bit bottom-up record. Every
// colour type, bit depth and Adam7 interlacing is read; samples are reduced to
// 8 bits and alpha or a transparent colour is blended onto a background (the
// file's bKGD colour, else the default background).
#pragma once

#include <zlib.h>

#include <cstdint>

#include "codecs/mapped_input.h"
#include "codecs/png/blend_table.h"
#include "codecs/png/png_filters.h"
#include "codecs/png/png_layouts.h"
#include "codecs/png/png_status.h"
#include "core/image_record.h"
#include "platform/owned_memory.h"

class PngReader : public ReaderEntries<PngReader> {
  public:
    PngReader() = default;
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // Decodes the file into `record` (or into a record allocated from the
    // private heap when null). Returns the record, or null with status() set.
    // The entries read(path, record) and readMemory(data, size, record) come
    // from ReaderEntries.
    uint32_t status() const { return input_.status; }

    // Background for transparent parts when the file names none. The driver
    // sets white (255, 255, 255) before each read.
    void setDefaultBackground(uint8_t red, uint8_t green, uint8_t blue);

    // After a successful read: whether the file declares one fully
    // transparent colour, and that colour. Palette images give the first fully
    // transparent entry as it is after blending; gray images give their
    // transparent gray's palette entry (also after blending); truecolour
    // images give the declared colour. Alpha-channel images give none.
    bool transparentColour(uint8_t& red, uint8_t& green, uint8_t& blue) const;

  private:
    friend class ReaderEntries<PngReader>;
    ImageRecord* readFrom(const ReadSource& source, ImageRecord* record);

    struct Rgb {
        uint8_t red, green, blue;
    };

    void resetFileState();
    bool decode(ImageRecord& record);
    bool readHeader();
    bool walkChunks();
    bool chunkCrcMatches(const uint8_t* chunk, uint32_t length) const;
    bool takePalette(const uint8_t* chunk, uint32_t length);
    void takeTransparency(const uint8_t* chunk, uint32_t length);
    void takeBackground(const uint8_t* chunk, uint32_t length);
    void takeResolution(const uint8_t* chunk, uint32_t length);
    bool readImageDataRun(const uint8_t* firstChunk, const uint8_t*& next);
    bool decodeImage(const uint8_t* data, uint32_t length);
    enum class RowsResult { Done, StreamEnd, Failed };
    RowsResult decodeRows(z_stream& stream, uint32_t passWidth, uint32_t passHeight,
                          uint32_t firstRow, uint32_t rowIncrement, uint32_t firstColumn,
                          uint32_t columnIncrement);
    bool composite();
    void settleTransparentColour();
    // The first reason given stays: a failure seen deep in the data is not
    // overwritten by the general one its callers add.
    bool fail(uint32_t status) {
        if (input_.status == kStatusOk) input_.status = status;
        return false;
    }

    MappedInput input_;
    ImageRecord* record_ = nullptr;

    // IHDR and the layout it selects.
    int32_t width_ = 0;
    int32_t height_ = 0;
    int bitDepth_ = 0;
    int colourType_ = 0;
    uint8_t interlace_ = 0;
    png::LayoutInfo layout_{};
    uint32_t stride_ = 0;
    uint32_t fullRowLength_ = 0;

    // Ancillary information and what has been seen.
    int paletteCount_ = 0;
    bool seenPalette_ = false;
    bool seenImageData_ = false;
    bool seenEnd_ = false;
    bool tookBackground_ = false;
    bool tookTransparency_ = false;
    Rgb fileBackground_{};
    Rgb transparentSample_{};
    uint8_t paletteAlpha_[256] = {};
    int32_t resolutionX_ = 0;
    int32_t resolutionY_ = 0;
    Rgb defaultBackground_{255, 255, 255};

    // Work buffers of one read.
    platform::PageBuffer pixels_;
    platform::PageBuffer alphaPlane_;
    platform::HeapBlock rowBuffers_;
    png::Reconstructor reconstruct_[5] = {};
    png::RowConverter convert_ = nullptr;

    // The answer of transparentColour().
    bool hasTransparentColour_ = false;
    Rgb transparentColour_{};
};
