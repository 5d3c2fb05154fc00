#include "codecs/gif/gif_lzw_encoder.h"

#include <bit>
#include <cstring>

namespace gif {
namespace {

constexpr unsigned kGenerationShift = 20;
constexpr uint32_t kLastGeneration = (1u << (32 - kGenerationShift)) - 1;

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
    tables_ = &tables;
    out_ = cursor_ = out;
    bits_ = 0;
    bitCount_ = 0;
    started_ = pending_ = false;
    generation_ = kLastGeneration;  // forces a full clear of the slots
    nextGeneration();
    width_ = kFirstWidth;
    nextFree_ = kFirstFree;
    emit(kClearCode);
}

void LzwEncoder::nextGeneration() {
    if (generation_ == kLastGeneration) {
        std::memset(tables_->slotKey, 0, sizeof tables_->slotKey);
        generation_ = 0;
    }
    ++generation_;
}

inline void LzwEncoder::emit(unsigned code) {
    bits_ |= uint64_t{code} << bitCount_;
    bitCount_ += width_;
    if (bitCount_ >= 32) {
        const uint32_t word = static_cast<uint32_t>(bits_);
        std::memcpy(cursor_, &word, 4);
        cursor_ += 4;
        bits_ >>= 32;
        bitCount_ -= 32;
    }
}

// The current string extended by `byte` is not in the table (or the input
// ends): emit the current code, then either add the extended string at
// `slot` or, with the table full, start a new table after a clear code.
inline void LzwEncoder::emitAndAdd(uint32_t key, unsigned slot, uint8_t byte) {
    emit(current_);
    if (nextFree_ > 4095) {
        emit(kClearCode);
        width_ = kFirstWidth;
        nextFree_ = kFirstFree;
        nextGeneration();
    } else {
        if (nextFree_ > (1u << width_) - 1 && width_ < 12) ++width_;
        tables_->slotKey[slot] = generation_ << kGenerationShift | key;
        tables_->slotCode[slot] = static_cast<uint16_t>(nextFree_++);
    }
    current_ = byte;
}

// Extends the current string by `byte` when the table holds the result;
// otherwise emits the current code and enters the extended string.
inline void LzwEncoder::step(uint8_t byte) {
    const uint32_t key = current_ << 8 | byte;
    const uint32_t wanted = generation_ << kGenerationShift | key;
    const uint32_t* const slotKey = tables_->slotKey;
    unsigned slot = slotOf(key);
    for (;;) {
        const uint32_t held = slotKey[slot];
        if (held == wanted) {
            current_ = tables_->slotCode[slot];
            return;
        }
        if (held >> kGenerationShift != generation_) break;  // empty: not in the table
        slot = (slot + 1) & (LzwEncoderTables::kSlots - 1);
    }
    emitAndAdd(key, slot, byte);
}

void LzwEncoder::feed(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    size_t i = 0;
    if (!started_) {
        current_ = bytes[0];
        started_ = true;
        i = 1;
    } else if (pending_) {
        step(pendingByte_);  // the held byte is followed by more input
    }
    pending_ = false;
    // The last byte is held back: it may turn out to end the input.
    for (; i + 1 < count; ++i) step(bytes[i]);
    if (i < count) {
        pendingByte_ = bytes[count - 1];
        pending_ = true;
    }
}

size_t LzwEncoder::finish() {
    if (pending_) {
        // The last input byte always leaves as a code of its own; the
        // extended string is still entered so that code widths stay in step
        // with a decoder, which adds an entry for every code it reads.
        const uint32_t key = current_ << 8 | pendingByte_;
        unsigned slot = slotOf(key);
        while (tables_->slotKey[slot] >> kGenerationShift == generation_)
            slot = (slot + 1) & (LzwEncoderTables::kSlots - 1);
        emitAndAdd(key, slot, pendingByte_);
        pending_ = false;
    }
    if (started_) emit(current_);
    emit(kEndCode);
    // Whole bytes, then one more byte with the remaining 0 to 7 bits.
    while (bitCount_ >= 8) {
        *cursor_++ = static_cast<uint8_t>(bits_);
        bits_ >>= 8;
        bitCount_ -= 8;
    }
    *cursor_++ = static_cast<uint8_t>(bits_);
    bits_ = 0;
    bitCount_ = 0;
    return static_cast<size_t>(cursor_ - out_);
}

}  // namespace gif
