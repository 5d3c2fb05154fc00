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

// Work table of the encoder (128 KiB, kept off the stack). Strings are found
// by their prefix code and last byte through an open-addressing hash with
// linear probing; a slot holds prefix code << 20 | last byte << 12 | code,
// and 0 when empty (every code in it is 258 or more).
struct LzwEncoderTables {
    static constexpr unsigned kSlotBits = 15;
    static constexpr unsigned kSlots = 1u << kSlotBits;  // at most 3838 in use: few collisions
    uint32_t slot[kSlots];
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
    // Everything the inner loop changes, copied into a local for the length
    // of a call so that the compiler can keep it in registers (the byte
    // stores of the output could otherwise alias the object's fields).
    struct State {
        LzwEncoderTables* tables;
        uint8_t* cursor;
        uint64_t bits;  // pending bits, least significant first
        int bitCount;
        int width;
        unsigned nextFree;
        unsigned current;  // code of the string matched so far
    };
    static void emit(State& s, unsigned code);
    static void emitAndAdd(State& s, uint32_t key, unsigned slot, uint8_t byte);
    static void step(State& s, uint8_t byte);
    static void emptyTable(State& s);

    State state_{};
    uint8_t* out_ = nullptr;
    bool started_ = false;  // a string is being matched
    bool pending_ = false;  // `pendingByte_` still has to be handled
    uint8_t pendingByte_ = 0;
};

}  // namespace gif
