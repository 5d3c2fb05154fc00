// Fields of the codecs' headers, most significant bit first: fixed widths,
// flags and Exp-Golomb codes (HEVC's ue(v), AV1's uvlc()). Reading past the
// end fails and stays failed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace formats {

class BitReader {
  public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool bits(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= uint64_t{size_} * 8) return false;
            value = (value << 1) | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return true;
    }
    bool flag(bool& value) {
        uint32_t bit = 0;
        if (!bits(1, bit)) return false;
        value = bit != 0;
        return true;
    }
    bool skip(uint64_t count) {
        position_ += count;
        return position_ <= uint64_t{size_} * 8;
    }
    // Leading zeros, a one, then as many bits; 32 zeros or more fail.
    bool expGolomb(uint32_t& value) {
        int zeros = 0;
        uint32_t bit = 0;
        while (bits(1, bit) && bit == 0)
            if (++zeros >= 32) return false;
        if (bit != 1) return false;
        uint32_t rest = 0;
        if (!bits(zeros, rest)) return false;
        value = static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + rest);
        return true;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_ = 0;
};

}  // namespace formats
