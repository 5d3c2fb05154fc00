#include "tests/codecs/gif/gif_lzw_reference.h"

#include <cstring>
#include <memory>

namespace giftest {
namespace {

struct Entry {
    uint8_t last = 0;
    int prefix = -1;
    int length = 0;
    uint32_t key = 0;
};

struct Node {
    int code = 0;
    int next = -1;
};

uint32_t packKey(int length, uint8_t beforeLast, uint8_t last) {
    return static_cast<uint32_t>(length) | uint32_t{beforeLast} << 16 | uint32_t{last} << 24;
}

class Encoder {
  public:
    std::vector<uint8_t> run(const std::vector<uint8_t>& input) {
        for (int i = 0; i < 256; ++i) {
            table_[i].last = static_cast<uint8_t>(i);
            table_[i].prefix = -1;
            table_[i].length = 1;
        }
        emptyTable();
        emit(256);
        if (!input.empty()) {
            std::vector<uint8_t> current{input[0]};
            int currentCode = input[0];
            for (size_t i = 1; i < input.size(); ++i) {
                const uint8_t b = input[i];
                current.push_back(b);
                if (i + 1 < input.size()) {
                    const int found = find(current);
                    if (found >= 0) {
                        currentCode = found;
                        continue;
                    }
                }
                emit(static_cast<unsigned>(currentCode));
                if (nextFree_ > 4095) {
                    emit(256);
                    width_ = 9;
                    emptyTable();
                } else {
                    if (nextFree_ > (1 << width_) - 1 && width_ < 12) ++width_;
                    const uint8_t before = current[current.size() - 2];
                    Entry& e = table_[nextFree_];
                    e.last = b;
                    e.prefix = currentCode;
                    e.length = static_cast<int>(current.size());
                    e.key = packKey(e.length, before, b);
                    pool_[poolUsed_] = Node{nextFree_, buckets_[b + before]};
                    buckets_[b + before] = poolUsed_++;
                    ++nextFree_;
                }
                current.assign(1, b);
                currentCode = b;
            }
            emit(static_cast<unsigned>(currentCode));
        }
        emit(257);
        while (count_ >= 8) {
            out_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
        out_.push_back(static_cast<uint8_t>(bits_));
        return out_;
    }

  private:
    void emptyTable() {
        nextFree_ = 258;
        poolUsed_ = 0;
        for (int& head : buckets_) head = -1;
    }

    // The code of `s` (at least two bytes), or -1.
    int find(const std::vector<uint8_t>& s) const {
        const uint8_t last = s.back();
        const uint8_t before = s[s.size() - 2];
        const uint32_t key = packKey(static_cast<int>(s.size()), before, last);
        for (int n = buckets_[last + before]; n >= 0; n = pool_[n].next) {
            const Entry& e = table_[pool_[n].code];
            if (e.key != key) continue;
            // Compare the whole string, from the last byte backwards.
            int code = pool_[n].code;
            size_t i = s.size();
            bool same = true;
            while (i > 0 && code >= 0) {
                if (table_[code].last != s[--i]) {
                    same = false;
                    break;
                }
                code = table_[code].prefix;
            }
            if (same && i == 0 && code < 0) return pool_[n].code;
        }
        return -1;
    }

    void emit(unsigned code) {
        bits_ |= uint64_t{code} << count_;
        count_ += width_;
        while (count_ >= 8) {
            out_.push_back(static_cast<uint8_t>(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }

    Entry table_[4096];
    int buckets_[511];
    Node pool_[4096];
    int poolUsed_ = 0;
    int nextFree_ = 258;
    int width_ = 9;
    uint64_t bits_ = 0;
    int count_ = 0;
    std::vector<uint8_t> out_;
};

}  // namespace

std::vector<uint8_t> referenceLzwEncode(const std::vector<uint8_t>& input) {
    auto encoder = std::make_unique<Encoder>();
    return encoder->run(input);
}

}  // namespace giftest
