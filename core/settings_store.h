// Loading the Settings from the settings file and saving them back.
//
// Saving rewrites the whole file: header (19 slots, format tag), the slot
// table, then the texts of this version in slot order 0, 1, 2, 3, 4, 5, 18,
// 6, 7, 8, 9, 10, 11, 13, 17, 14, 15, 16, and finally the texts of slots this
// version does not use (slot 12), carried over byte for byte. Slots at 19
// and above are dropped.
#pragma once

#include <cstdint>

#include "core/settings.h"
#include "core/settings_file_reader.h"

// Slot 0, the language name; read on its own before the language library is
// loaded. An unreadable slot gives "".
void loadLanguageSetting(SettingsFileReader& reader, Settings& settings);

// Every setting except the language (slots 1-18), with the normalisations
// of loading: font height -14 stays and anything else becomes -12, switches
// keep their low bit only, and the sub-folder name falls back to "Output"
// only when its slot does not exist. An invalid reader gives every default.
void loadSettings(SettingsFileReader& reader, Settings& settings);

// Both of the above.
void loadAllSettings(SettingsFileReader& reader, Settings& settings);

// The complete new content of the settings file, built in memory. Owns its
// bytes (private heap).
class SettingsFileImage {
  public:
    SettingsFileImage() = default;
    ~SettingsFileImage();
    SettingsFileImage(const SettingsFileImage&) = delete;
    SettingsFileImage& operator=(const SettingsFileImage&) = delete;

    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }

    // Appends bytes; false when memory runs out or the file would reach 4 GiB.
    bool append(const void* bytes, size_t count);
    bool appendU16(uint16_t value);
    bool appendU32(uint32_t value);
    void overwriteU32(uint32_t offset, uint32_t value);
    void clear();

  private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

// What an existing settings file gives the next save: its slot table (19
// slots, zero where missing) and the bytes of the texts in slots this
// version does not write.
class PreviousSettingsFile {
  public:
    PreviousSettingsFile() = default;
    ~PreviousSettingsFile() { clear(); }
    PreviousSettingsFile(const PreviousSettingsFile&) = delete;
    PreviousSettingsFile& operator=(const PreviousSettingsFile&) = delete;

    // Reads from an open file (position and content are not changed). A short
    // or damaged file leaves what cannot be read zeroed; false only when
    // memory runs out.
    bool read(platform::File& file);
    void clear();

    SettingsSlot slots[kSettingsSlotCount];
    // Texts to carry over, by slot; null where there is none.
    uint8_t* carried[kSettingsSlotCount] = {};
};

// Whether save writes this slot itself (every slot below 19 except 12).
bool isSlotWrittenBySave(uint32_t index);

// Builds the new file content from the old file and the settings. Names in
// the disabled-plug-in list are kept only when their file exists in the
// plug-in folder (relative to the current directory when no folder is set).
bool buildSettingsFile(const PreviousSettingsFile& previous, const Settings& settings,
                       SettingsFileImage& image);

// The two ways of putting new content in place (used by saveSettings):
// a new file beside `path` moved over it, or a rewrite of `path` through one
// handle that writes the old bytes back when it fails.
bool replaceSettingsFile(const char16_t* path, const SettingsFileImage& image);
bool rewriteSettingsFileInPlace(const char16_t* path, const SettingsFileImage& image);

// Saves the settings to `path`, created when missing. The new content is
// built in memory first and written to a temporary file beside the old one,
// which then replaces it; where no file can be created beside it, the old
// file is rewritten in place and restored should that write fail. Returns
// false, with the old file as it was, when the file cannot be opened for
// writing or the new content cannot be written.
bool saveSettings(const char16_t* path, const Settings& settings);
