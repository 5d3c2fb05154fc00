// Reading "Pirex.ini", the settings file: a 4-byte header (slot count, format
// tag), a table of 8-byte slots {a, b} and a data area of UTF-16LE texts.
//
//   a == 0   absent, or an empty text
//   a == 1   a number; b is the value (as i32)
//   a >= 2   a text or list: a is the absolute file offset, b the byte count
//
// Every damaged part of a file reads as "not there", so the caller falls back
// to the default of that setting.
#pragma once

#include <cstdint>

#include "core/heap_string.h"
#include "core/settings.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

struct SettingsSlot {
    uint32_t a = 0;
    uint32_t b = 0;
};

inline constexpr uint16_t kSettingsFormatTag = 0x0A9A;
inline constexpr uint32_t kSettingsHeaderBytes = 4;
inline constexpr uint32_t kSettingsSlotBytes = 8;
inline constexpr uint32_t kSettingsSlotNumber = 1;       // a of a number slot
inline constexpr uint32_t kSettingsFirstTextOffset = 2;  // a of a text slot is at least this
// Slot numbers of the settings this version reads and writes.
enum SettingsSlotIndex : uint32_t {
    kSlotLanguage = 0,
    kSlotFontHeight = 1,
    kSlotJpegQuality = 2,
    kSlotJpegSubsampling = 3,
    kSlotJpegSizeLimitOn = 4,
    kSlotJpegSizeLimitKiB = 5,
    kSlotResizeOn = 6,
    kSlotResizeMode = 7,
    kSlotResizeTarget = 8,
    kSlotOutputFolder = 9,
    kSlotSubFolderOn = 10,
    kSlotSubFolderName = 11,
    kSlotReserved12 = 12,  // used by another version; carried over untouched
    kSlotPluginFolder = 13,
    kSlotStartMode = 14,
    kSlotSendToMigrated1 = 15,
    kSlotSendToMigrated2 = 16,
    kSlotDisabledPlugins = 17,
    kSlotKeepTransparency = 18,
};

class SettingsFileReader {
  public:
    SettingsFileReader() = default;
    SettingsFileReader(const SettingsFileReader&) = delete;
    SettingsFileReader& operator=(const SettingsFileReader&) = delete;

    // Opens the file read-only (shared for reading) and reads its slot table.
    // Returns valid(); a missing, short or huge file is simply invalid.
    bool open(const char16_t* path);
    void close();

    bool valid() const { return valid_; }
    // min(stored count, 19); 0 while invalid.
    uint32_t slotCount() const { return slotCount_; }
    // The raw slot; {0, 0} for a slot that does not exist.
    SettingsSlot slot(uint32_t index) const;
    // File size minus header and (capped) slot table.
    uint64_t dataAreaSize() const { return dataAreaSize_; }

    // The slot's value when it holds a number, else `fallback`.
    int32_t readNumber(uint32_t index, int32_t fallback) const;
    // Fills `text` with the slot's text; empty when the slot is no readable
    // text. Returns whether the slot exists (valid file, index below the count).
    bool readText(uint32_t index, HeapString& text);
    // Replaces `list` with the NUL-separated names of the slot's text (an
    // empty name between two NULs is an entry too). Returns whether the slot
    // exists; false also when memory runs out (the list is then empty).
    bool readList(uint32_t index, NameList& list);

  private:
    // Reads the slot's bytes as UTF-16LE into `block` and points at them; null
    // (count 0) when the slot holds no readable text.
    const char16_t* loadText(uint32_t index, uint32_t& characters, platform::HeapBlock& block);

    platform::File file_;
    bool valid_ = false;
    uint32_t slotCount_ = 0;
    SettingsSlot slots_[kSettingsSlotCount];
    uint64_t dataAreaSize_ = 0;
};
