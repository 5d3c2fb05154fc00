// Settings files built byte by byte for the tests, independently of the
// writer: a header (slot count, tag 0x0A9A), 8-byte slots {a, b} and a data
// area of UTF-16LE texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"
#include "tests/support/temp_folder.h"

struct Slot {
    uint32_t a = 0;
    uint32_t b = 0;
};

inline Slot numberSlot(int32_t value) {
    return {1, static_cast<uint32_t>(value)};
}

class SettingsBytes {
  public:
    // A file of `count` slots (all {0, 0}); the tag is 0x0A9A unless given.
    explicit SettingsBytes(uint16_t count, uint16_t tag = 0x0A9A)
        : count_(count), bytes_(4 + 8 * size_t{count}, 0) {
        bytes_[0] = static_cast<uint8_t>(count);
        bytes_[1] = static_cast<uint8_t>(count >> 8);
        bytes_[2] = static_cast<uint8_t>(tag);
        bytes_[3] = static_cast<uint8_t>(tag >> 8);
    }

    void set(uint32_t slot, Slot value) {
        put32(4 + 8 * slot, value.a);
        put32(8 + 8 * slot, value.b);
    }
    // Appends a text to the data area and points the slot at it.
    Slot text(uint32_t slot, const std::u16string& text) {
        Slot s{static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(2 * text.size())};
        for (char16_t c : text) u16(c);
        if (slot < count_) set(slot, s);
        return s;
    }
    Slot raw(uint32_t slot, const std::vector<uint8_t>& data) {
        Slot s{static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(data.size())};
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        if (slot < count_) set(slot, s);
        return s;
    }
    void u16(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void truncate(size_t size) { bytes_.resize(size); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

  private:
    void put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    uint16_t count_;
    std::vector<uint8_t> bytes_;
};

inline std::u16string heapText(const HeapString& h) {
    return std::u16string(h.c_str(), h.length());
}

inline std::vector<std::u16string> listNames(const NameList& list) {
    std::vector<std::u16string> names;
    for (const NameList::Node* n = list.first(); n; n = n->next) names.push_back(heapText(n->name));
    return names;
}
