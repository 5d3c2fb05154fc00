// A picture in the engine's layout, with its own storage: rows bottom-up and
// padded to four bytes, blue-green-red in 24 bits or palette indices in 8.
#pragma once

#include <cstdint>
#include <vector>

#include "core/image_record.h"
#include "core/picture_to_write.h"

struct TestPicture {
    int32_t width = 0, height = 0;
    int bits = 24;
    std::vector<uint8_t> pixels;
    std::vector<RgbQuad> palette = std::vector<RgbQuad>(256, RgbQuad{0, 0, 0, 0});

    TestPicture(int32_t w, int32_t h, int b) : width(w), height(h), bits(b) {
        // Four bytes more than the rows: writers may read a word past the end.
        pixels.assign(size_t(stride()) * size_t(h) + 4, 0);
    }
    uint32_t stride() const { return rowStride(width, bits); }
    // Pixel (x, y) with y counted from the top.
    uint8_t* at(int x, int y) {
        return pixels.data() + size_t(height - 1 - y) * stride() + size_t(x) * size_t(bits / 8);
    }
    void setRgb(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = at(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    void setIndex(int x, int y, uint8_t index) { *at(x, y) = index; }
    // What a writer is handed, asked for the picture's own depth or another.
    PictureToWrite view() const { return view(bits); }
    PictureToWrite view(int outputBits) const {
        PictureToWrite p;
        p.width = width;
        p.height = height;
        p.currentBitCount = static_cast<uint32_t>(bits);
        p.loadedBitCount = static_cast<uint16_t>(outputBits);
        p.palette = palette.data();
        p.pixels = pixels.data();
        return p;
    }
};
