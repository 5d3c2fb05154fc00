#include "codecs/gif/gif_lzw_encoder.h"

#include <bit>
#include <cstring>

namespace gif {
namespace {

constexpr unsigned kClearCode = 256;
constexpr unsigned kEndCode = 257;
constexpr unsigned kFirstFree = 258;
constexpr int kFirstWidth = 9;
constexpr unsigned kSlotMask = LzwEncoderTables::kSlots - 1;

inline unsigned slotOf(uint32_t key) {
    return (key * 2654435761u) >> (32 - LzwEncoderTables::kSlotBits);
}

}  // namespace

size_t lzwEncodedBound(size_t count) {
    // Every byte can leave as a code of its own, plus a clear code after at
    // most 3838 codes, the first clear, the end code and the flush byte; a
    // code takes at most 12 bits.
    const size_t codes = count + count / 1024 + 4;
    return codes / 2 * 3 + 3 + 16;
}

void LzwEncoder::begin(LzwEncoderTables& tables, uint8_t* out) {
    static_assert(std::endian::native == std::endian::little);
    out_ = out;
    started_ = pending_ = false;
    State& s = state_;
    s.tables = &tables;
    s.cursor = out;
    s.bits = 0;
    s.bitCount = 0;
    s.width = kFirstWidth;
    s.nextFree = kFirstFree;
    s.current = 0;
    emptyTable(s);
    emit(s, kClearCode);
}

void LzwEncoder::emptyTable(State& s) {
    std::memset(s.tables->slot, 0, sizeof s.tables->slot);
}

inline void LzwEncoder::emit(State& s, unsigned code) {
    s.bits |= uint64_t{code} << s.bitCount;
    s.bitCount += s.width;
    if (s.bitCount >= 32) {
        const uint32_t word = static_cast<uint32_t>(s.bits);
        std::memcpy(s.cursor, &word, 4);
        s.cursor += 4;
        s.bits >>= 32;
        s.bitCount -= 32;
    }
}

// The current string extended by `byte` is not in the table (or the input
// ends): emit the current code, then either add the extended string at
// `slot` or, with the table full, start a new table after a clear code.
inline void LzwEncoder::emitAndAdd(State& s, uint32_t key, unsigned slot, uint8_t byte) {
    emit(s, s.current);
    if (s.nextFree > 4095) {
        emit(s, kClearCode);
        s.width = kFirstWidth;
        s.nextFree = kFirstFree;
        emptyTable(s);
    } else {
        if (s.nextFree > (1u << s.width) - 1 && s.width < 12) ++s.width;
        s.tables->slot[slot] = key << 12 | s.nextFree++;
    }
    s.current = byte;
}

// Extends the current string by `byte` when the table holds the result;
// otherwise emits the current code and enters the extended string.
inline void LzwEncoder::step(State& s, uint8_t byte) {
    const uint32_t key = s.current << 8 | byte;
    const uint32_t* const table = s.tables->slot;
    const uint32_t wanted = key << 12;
    unsigned slot = slotOf(key);
    for (;;) {
        // A match leaves just the code (258..4095) in `found`; an empty slot
        // or another string leaves 0 or a value of 4096 or more.
        const uint32_t held = table[slot];
        const uint32_t found = held ^ wanted;
        if (found - 1 < 4095u) {
            s.current = found;
            return;
        }
        if (held == 0) break;  // not in the table
        slot = (slot + 1) & kSlotMask;
    }
    emitAndAdd(s, key, slot, byte);
}

void LzwEncoder::feed(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    State s = state_;
    size_t i = 0;
    if (!started_) {
        s.current = bytes[0];
        started_ = true;
        i = 1;
    } else if (pending_) {
        step(s, pendingByte_);  // the held byte is followed by more input
    }
    pending_ = false;
    // The last byte is held back: it may turn out to end the input.
    for (; i + 1 < count; ++i) step(s, bytes[i]);
    if (i < count) {
        pendingByte_ = bytes[count - 1];
        pending_ = true;
    }
    state_ = s;
}

size_t LzwEncoder::finish() {
    State s = state_;
    if (pending_) {
        // The last input byte always leaves as a code of its own; the
        // extended string is still entered so that code widths stay in step
        // with a decoder, which adds an entry for every code it reads.
        const uint32_t key = s.current << 8 | pendingByte_;
        unsigned slot = slotOf(key);
        while (s.tables->slot[slot] != 0) slot = (slot + 1) & kSlotMask;
        emitAndAdd(s, key, slot, pendingByte_);
        pending_ = false;
    }
    if (started_) emit(s, s.current);
    emit(s, kEndCode);
    // Whole bytes, then one more byte with the remaining 0 to 7 bits.
    while (s.bitCount >= 8) {
        *s.cursor++ = static_cast<uint8_t>(s.bits);
        s.bits >>= 8;
        s.bitCount -= 8;
    }
    *s.cursor++ = static_cast<uint8_t>(s.bits);
    s.bits = 0;
    s.bitCount = 0;
    state_ = s;
    return static_cast<size_t>(s.cursor - out_);
}

}  // namespace gif
