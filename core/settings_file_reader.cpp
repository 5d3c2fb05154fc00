#include "core/settings_file_reader.h"

#include "core/byte_order.h"

bool SettingsFileReader::open(const char16_t* path) {
    close();
    if (!file_.openForReading(path)) return false;

    uint8_t header[kSettingsHeaderBytes];
    if (file_.read(header, sizeof header) != sizeof header) return false;
    uint32_t count = uint32_t{header[0]} | uint32_t{header[1]} << 8;
    if (count > kSettingsSlotCount) count = kSettingsSlotCount;

    uint8_t table[kSettingsSlotCount * kSettingsSlotBytes];
    const size_t tableBytes = size_t{count} * kSettingsSlotBytes;
    uint64_t fileSize = 0;
    if (file_.read(table, tableBytes) != tableBytes || !file_.size(fileSize) ||
        fileSize >= (uint64_t{1} << 32))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        slots_[i].a = loadU32LE(table + i * kSettingsSlotBytes);
        slots_[i].b = loadU32LE(table + i * kSettingsSlotBytes + 4);
    }
    slotCount_ = count;
    dataAreaSize_ = fileSize - tableBytes - kSettingsHeaderBytes;
    valid_ = true;
    return true;
}

void SettingsFileReader::close() {
    file_.close();
    valid_ = false;
    slotCount_ = 0;
    dataAreaSize_ = 0;
    for (SettingsSlot& s : slots_) s = {};
}

SettingsSlot SettingsFileReader::slot(uint32_t index) const {
    return valid_ && index < slotCount_ ? slots_[index] : SettingsSlot{};
}

int32_t SettingsFileReader::readNumber(uint32_t index, int32_t fallback) const {
    const SettingsSlot s = slot(index);
    return s.a == kSettingsSlotNumber ? static_cast<int32_t>(s.b) : fallback;
}

const char16_t* SettingsFileReader::loadText(uint32_t index, uint32_t& characters,
                                             platform::HeapBlock& block) {
    characters = 0;
    const SettingsSlot s = slot(index);
    if (s.a < kSettingsFirstTextOffset || s.b > dataAreaSize_ || s.b < 2) return nullptr;
    if (!block.allocate(s.b)) return nullptr;
    uint8_t* bytes = block.data();
    if (!file_.seek(s.a) || file_.read(bytes, s.b) != s.b) {
        block.reset();
        return nullptr;
    }
    // Little-endian code units, decoded in place; an odd last byte is ignored.
    characters = s.b / 2;
    auto* text = reinterpret_cast<char16_t*>(bytes);
    for (uint32_t i = 0; i < characters; ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return text;
}

bool SettingsFileReader::readText(uint32_t index, HeapString& text) {
    text.clear();
    uint32_t characters = 0;
    platform::HeapBlock block;
    if (const char16_t* loaded = loadText(index, characters, block))
        text.assign(loaded, characters);
    return valid_ && index < slotCount_;
}

bool SettingsFileReader::readList(uint32_t index, NameList& list) {
    list.clear();
    uint32_t characters = 0;
    platform::HeapBlock block;
    const char16_t* text = loadText(index, characters, block);
    for (uint32_t start = 0; start < characters;) {
        uint32_t end = start;
        while (end < characters && text[end] != 0) ++end;
        if (!list.append(text + start, end - start)) {
            list.clear();
            return false;
        }
        start = end + 1;  // past the NUL
    }
    return valid_ && index < slotCount_;
}
