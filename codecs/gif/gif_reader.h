// Decodes the first image of a GIF file (87a or 89a) into an 8-bit record the
// size of the file's logical screen, and reports the image's transparent
// colour.
#pragma once

#include <cstdint>

#include "codecs/mapped_input.h"
#include "core/image_record.h"

class GifReader : public ReaderEntries<GifReader> {
  public:
    GifReader() = default;
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;

    // Fills `record` (or, when null, a record allocated from the private heap
    // that the caller then owns and frees with platform::privateHeap()).
    // Returns the record, or null with status() telling why.
    // The entries read(path, record) and readMemory(data, size, record) come
    // from ReaderEntries.
    uint32_t status() const { return status_; }

    // Options, kept until changed. With flattening on, the colour-table entry
    // of the transparent index is replaced by a background colour: the file's
    // own (the global table's entry at the background index) when allowed and
    // present, else the fallback colour.
    void setFlattenTransparency(bool on) { flattenTransparency_ = on; }
    void setUseFileBackground(bool on) { useFileBackground_ = on; }
    void setFallbackBackground(uint8_t red, uint8_t green, uint8_t blue) {
        fallbackRgb_[0] = red;
        fallbackRgb_[1] = green;
        fallbackRgb_[2] = blue;
    }

    // Results of the last successful read: whether the image declares a
    // transparent index, that index, and its colour-table entry after
    // flattening (red, green, blue). The colour stays valid until the next read.
    bool declaresTransparency() const { return transparent_; }
    uint8_t transparentIndex() const { return transparentIndex_; }
    const uint8_t* transparentColor() const { return transparentRgb_; }

  private:
    friend class ReaderEntries<GifReader>;
    ImageRecord* readFrom(const ReadSource& source, ImageRecord* record);

    struct ImageDescriptor {
        uint16_t left, top, width, height;
        bool interlaced;
        int minCodeSize;
    };

    void resetFileState();
    bool readScreen();
    bool readBlocksUntilImage(ImageDescriptor& image);
    bool skipSubBlocks(const uint8_t*& p);
    bool decodeImage(const ImageDescriptor& image, ImageRecord& record);
    void buildCanvas(const ImageDescriptor& image, const uint8_t* indices, ImageRecord& record);
    bool fail(uint32_t status) {
        status_ = status;
        return false;
    }

    MappedInput input_;
    uint32_t status_ = kStatusOk;

    bool flattenTransparency_ = true;
    bool useFileBackground_ = true;
    uint8_t fallbackRgb_[3] = {0xFF, 0xFF, 0xFF};

    // Per-file state, reset on every read.
    uint16_t screenWidth_ = 0;
    uint16_t screenHeight_ = 0;
    uint32_t colorBits_ = 0;
    uint8_t backgroundIndex_ = 0;
    bool hasGlobalTable_ = false;
    bool hasLocalTable_ = false;
    uint8_t globalTable_[768] = {};  // red, green, blue triples
    uint8_t localTable_[768] = {};
    bool controlTransparent_ = false;  // from the last graphic control extension
    uint8_t controlIndex_ = 0;

    // Results.
    bool transparent_ = false;
    uint8_t transparentIndex_ = 0;
    uint8_t transparentRgb_[3] = {};
};
