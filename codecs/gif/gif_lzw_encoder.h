// LZW compression of 8-bit palette indices for GIF image data (minimum code
// size 8: clear code 256, end code 257, code widths 9 to 12). The input can
// arrive in pieces (for example one picture row at a time); the result is the
// same as for one piece.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gif {

// Bytes the encoded form of `count` input bytes can take at most, including
// the closing flush byte and the slack the encoder needs for word stores.
size_t lzwEncodedBound(size_t count);

// Work tables of the encoder, kept off the stack (about 48 KiB). Strings are
// found by their prefix code and last byte through an open-addressing hash;
// every slot carries the generation of the table it belongs to, so emptying
// the table at a reset is a counter increment rather than a clear.
struct LzwEncoderTables {
    static constexpr unsigned kSlotBits = 13;
    static constexpr unsigned kSlots = 1u << kSlotBits;  // at most 3838 in use
    uint32_t slotKey[kSlots];  // generation << 20 | prefix code << 8 | last byte
    uint16_t slotCode[kSlots];
};

class LzwEncoder {
  public:
    // Starts a new image: empties the table and emits the clear code. `out`
    // must hold lzwEncodedBound(total input) bytes.
    void begin(LzwEncoderTables& tables, uint8_t* out);
    void feed(const uint8_t* bytes, size_t count);
    // Emits the last string and the end code, writes the flush byte, and
    // returns the number of bytes written. An image without input gives just
    // the clear and end codes.
    size_t finish();

  private:
    static constexpr unsigned kClearCode = 256;
    static constexpr unsigned kEndCode = 257;
    static constexpr unsigned kFirstFree = 258;
    static constexpr int kFirstWidth = 9;

    void emit(unsigned code);
    void step(uint8_t byte);
    void emitAndAdd(uint32_t key, unsigned slot, uint8_t byte);
    void nextGeneration();

    LzwEncoderTables* tables_ = nullptr;
    uint8_t* out_ = nullptr;
    uint8_t* cursor_ = nullptr;
    uint64_t bits_ = 0;  // pending bits, least significant first
    int bitCount_ = 0;
    int width_ = kFirstWidth;
    unsigned nextFree_ = kFirstFree;
    uint32_t generation_ = 0;  // 1..4095 in slotKey bits 20-31
    unsigned current_ = 0;     // code of the string matched so far
    bool started_ = false;     // a string is being matched
    bool pending_ = false;     // `pendingByte_` still has to be handled
    uint8_t pendingByte_ = 0;
};

}  // namespace gif
