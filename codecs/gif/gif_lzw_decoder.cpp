#include "codecs/gif/gif_lzw_decoder.h"

#include <bit>
#include <cstring>

namespace gif {
namespace {

// Reads codes least-significant bit first. Bits past the end of the data read
// as zero; a code that would start at or past the end means the data is used
// up.
class CodeReader {
  public:
    CodeReader(const uint8_t* data, size_t size) : data_(data), totalBits_(uint64_t{size} * 8) {}

    // False when no code starts before the end of the data.
    bool next(int width, unsigned& code) {
        if (consumedBits_ >= totalBits_) return false;
        if (count_ < width) {
            uint32_t word;
            std::memcpy(&word, data_ + position_, 4);  // little-endian hosts only
            bits_ |= uint64_t{word} << count_;
            position_ += 4;
            count_ += 32;
        }
        code = static_cast<unsigned>(bits_) & ((1u << width) - 1);
        bits_ >>= width;
        count_ -= width;
        consumedBits_ += static_cast<unsigned>(width);
        return true;
    }

  private:
    const uint8_t* data_;
    uint64_t totalBits_;
    uint64_t consumedBits_ = 0;
    uint64_t bits_ = 0;
    size_t position_ = 0;
    int count_ = 0;
};

// Writes the first `count` bytes of the string of `code` (length `length`)
// to dst, walking the prefix chain backwards from the last byte.
inline void writeString(const LzwDecoderTable& table, unsigned code, unsigned length, uint8_t* dst,
                        size_t count) {
    for (size_t skip = length - count; skip > 0; --skip) code = table.prefix[code];
    uint8_t* p = dst + count;
    while (p > dst) {
        *--p = table.last[code];
        code = table.prefix[code];
    }
}

}  // namespace

LzwDecodeResult decodeLzw(LzwDecoderTable& table, const uint8_t* data, size_t size, int minCodeSize,
                          uint8_t* out, size_t outSize) {
    static_assert(std::endian::native == std::endian::little);
    LzwDecodeResult result;
    if (minCodeSize < 2 || minCodeSize > 8) return result;

    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    const int firstWidth = minCodeSize + 1;
    for (unsigned i = 0; i < clearCode; ++i) {
        table.prefix[i] = static_cast<uint16_t>(i);
        table.length[i] = 1;
        table.last[i] = static_cast<uint8_t>(i);
    }

    CodeReader reader(data, size);
    int width = firstWidth;
    unsigned nextFree = endCode + 1;
    unsigned previous = 0;
    bool havePrevious = false;  // false at the start and after a clear code
    size_t position = 0;
    unsigned code;

    while (reader.next(width, code)) {
        if (code == endCode) {
            result.endCodeSeen = true;
            break;
        }
        if (code == clearCode) {
            width = firstWidth;
            nextFree = endCode + 1;
            havePrevious = false;
            continue;
        }
        if (!havePrevious) {
            // The first code after a reset must be a root: any other names no
            // string yet, so the data is damaged from here on.
            if (code >= clearCode || position >= outSize) break;
            out[position++] = static_cast<uint8_t>(code);
            previous = code;
            havePrevious = true;
            continue;
        }

        const size_t room = outSize - position;
        if (code < nextFree) {
            const unsigned length = table.length[code];
            if (length > room) {
                writeString(table, code, length, out + position, room);
                position = outSize;
                break;
            }
            writeString(table, code, length, out + position, length);
            if (nextFree < kTableSize) {
                table.prefix[nextFree] = static_cast<uint16_t>(previous);
                table.length[nextFree] = static_cast<uint16_t>(table.length[previous] + 1);
                table.last[nextFree] = out[position];
                ++nextFree;
                previous = code;
            }
            position += length;
        } else {
            // A code not yet in the table stands for the previous string
            // followed by that string's own first byte.
            const unsigned previousLength = table.length[previous];
            if (previousLength + 1 > room) {
                writeString(table, previous, previousLength, out + position,
                            previousLength < room ? previousLength : room);
                position = outSize;
                break;
            }
            writeString(table, previous, previousLength, out + position, previousLength);
            out[position + previousLength] = out[position];
            // nextFree is below 4096 here: no code is 4096 or more.
            table.prefix[nextFree] = static_cast<uint16_t>(previous);
            table.length[nextFree] = static_cast<uint16_t>(previousLength + 1);
            table.last[nextFree] = out[position];
            previous = nextFree++;
            position += previousLength + 1;
        }
        if (nextFree > (1u << width) - 1 && width < kMaxCodeWidth) ++width;
    }
    result.written = position;
    return result;
}

}  // namespace gif
