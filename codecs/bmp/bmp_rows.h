// Row unpackers of the BMP reader: 1- and 4-bit indices widened to one byte
// per pixel, and 16- and 32-bit pixels converted to blue, green, red through
// their bit-field masks. Each takes the bytes of one source row that the file
// actually holds (`available`, possibly fewer than the row needs) and leaves
// the output of pixels it cannot reach untouched.
#pragma once

#include <cstdint>

namespace bmp {

void unpack1BitRow(const uint8_t* source, uint64_t available, uint32_t width, uint8_t* out);
void unpack4BitRow(const uint8_t* source, uint64_t available, uint32_t width, uint8_t* out);

// Channel layout from the three masks. Only the widths matter: blue is taken
// to sit in the lowest bits, green directly above it and red above green.
// Each channel value v of width w becomes v * 255 / (2^w - 1).
class BitFields {
  public:
    // False when a channel would be 32 bits wide.
    bool setMasks(uint32_t redMask, uint32_t greenMask, uint32_t blueMask);
    int width(int channel) const { return width_[channel]; }  // 0 blue, 1 green, 2 red

    void unpack16BitRow(const uint8_t* source, uint64_t available, uint32_t width,
                        uint8_t* out) const;
    void unpack32BitRow(const uint8_t* source, uint64_t available, uint32_t width,
                        uint8_t* out) const;

  private:
    // Channels up to this width convert through a table, wider ones divide.
    static constexpr int kTableBits = 12;
    uint8_t scale(int channel, uint32_t pixel) const {
        const uint64_t v = uint64_t{pixel & mask_[channel]} >> shift_[channel];
        if (width_[channel] <= kTableBits) return table_[channel][v];
        return static_cast<uint8_t>(v * 255 / ((uint64_t{1} << width_[channel]) - 1));
    }

    uint32_t mask_[3] = {};
    int shift_[3] = {};
    int width_[3] = {};
    uint8_t table_[3][1 << kTableBits] = {};
};

}  // namespace bmp
