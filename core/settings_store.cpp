#include "core/settings_store.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/path_limits.h"
#include "platform/owned_memory.h"
#include "platform/platform.h"

namespace {

// Largest old file that the in-place rewrite keeps a copy of, to put it back
// when the rewrite fails.
constexpr uint64_t kMaxRestorableBytes = 16u << 20;

int32_t lowBit(SettingsFileReader& reader, uint32_t slot, int32_t fallback) {
    return reader.readNumber(slot, fallback) & 1;
}

}  // namespace

// ---- Loading.

void loadLanguageSetting(SettingsFileReader& reader, Settings& settings) {
    reader.readText(kSlotLanguage, settings.language);
}

void loadSettings(SettingsFileReader& reader, Settings& s) {
    s.fontHeight = reader.readNumber(kSlotFontHeight, -12) == -14 ? -14 : -12;
    s.jpegQuality = reader.readNumber(kSlotJpegQuality, 75);
    s.jpegSubsampling = reader.readNumber(kSlotJpegSubsampling, 0);
    s.jpegSizeLimitOn = lowBit(reader, kSlotJpegSizeLimitOn, 0);
    s.jpegSizeLimitKiB = reader.readNumber(kSlotJpegSizeLimitKiB, 100);
    s.resizeOn = lowBit(reader, kSlotResizeOn, 0);
    s.resizeMode = reader.readNumber(kSlotResizeMode, kResizeByLongerSide);
    s.resizeTarget = reader.readNumber(kSlotResizeTarget, 100);
    reader.readText(kSlotOutputFolder, s.outputFolder);
    s.subFolderOn = lowBit(reader, kSlotSubFolderOn, 0);
    // A name the user cleared stays cleared; only a missing slot gives "Output".
    if (!reader.readText(kSlotSubFolderName, s.subFolderName)) s.subFolderName.assign(u"Output");
    // A folder the user cleared stays cleared; only a missing slot (no
    // settings file yet) gives the plug-ins beside the program.
    if (!reader.readText(kSlotPluginFolder, s.pluginFolder)) defaultPluginFolder(s.pluginFolder);
    s.startMode = reader.readNumber(kSlotStartMode, 0);
    s.sendToMigrated1 = lowBit(reader, kSlotSendToMigrated1, 0);
    s.sendToMigrated2 = lowBit(reader, kSlotSendToMigrated2, 0);
    reader.readList(kSlotDisabledPlugins, s.disabledPlugins);
    s.keepTransparency = lowBit(reader, kSlotKeepTransparency, 0);
}

void loadAllSettings(SettingsFileReader& reader, Settings& settings) {
    loadLanguageSetting(reader, settings);
    loadSettings(reader, settings);
}

// ---- The new file content in memory.

SettingsFileImage::~SettingsFileImage() {
    platform::privateHeap().release(data_);
}

void SettingsFileImage::clear() {
    platform::privateHeap().release(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

bool SettingsFileImage::append(const void* bytes, size_t count) {
    if (count == 0) return true;
    const uint64_t needed = uint64_t{size_} + count;
    if (needed > UINT32_MAX) return false;  // offsets are 32-bit
    if (needed > capacity_) {
        uint64_t grown = capacity_ ? uint64_t{capacity_} * 2 : 512;
        while (grown < needed) grown *= 2;
        if (grown > UINT32_MAX) grown = UINT32_MAX;
        auto* bigger = static_cast<uint8_t*>(platform::privateHeap().allocate(grown));
        if (!bigger) return false;
        if (size_) std::memcpy(bigger, data_, size_);
        platform::privateHeap().release(data_);
        data_ = bigger;
        capacity_ = static_cast<uint32_t>(grown);
    }
    std::memcpy(data_ + size_, bytes, count);
    size_ = static_cast<uint32_t>(needed);
    return true;
}

bool SettingsFileImage::appendU16(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return append(bytes, 2);
}

bool SettingsFileImage::appendU32(uint32_t value) {
    uint8_t bytes[4];
    storeU32LE(bytes, value);
    return append(bytes, 4);
}

void SettingsFileImage::overwriteU32(uint32_t offset, uint32_t value) {
    if (uint64_t{offset} + 4 <= size_) storeU32LE(data_ + offset, value);
}

// ---- What the old file hands on.

void PreviousSettingsFile::clear() {
    for (uint32_t i = 0; i < kSettingsSlotCount; ++i) {
        platform::privateHeap().release(carried[i]);
        carried[i] = nullptr;
        slots[i] = {};
    }
}

bool isSlotWrittenBySave(uint32_t index) {
    return index < kSettingsSlotCount && index != kSlotReserved12;
}

bool PreviousSettingsFile::read(platform::File& file) {
    clear();
    uint8_t header[kSettingsHeaderBytes];
    if (!file.seek(0) || file.read(header, sizeof header) != sizeof header) return true;
    const uint32_t storedCount = uint32_t{header[0]} | uint32_t{header[1]} << 8;
    const uint32_t count = storedCount < kSettingsSlotCount ? storedCount : kSettingsSlotCount;

    uint8_t table[kSettingsSlotCount * kSettingsSlotBytes];
    const size_t tableBytes = size_t{count} * kSettingsSlotBytes;
    if (file.read(table, tableBytes) != tableBytes) return true;  // the whole table stays zero
    for (uint32_t i = 0; i < count; ++i) {
        slots[i].a = loadU32LE(table + i * kSettingsSlotBytes);
        slots[i].b = loadU32LE(table + i * kSettingsSlotBytes + 4);
    }

    // The old data area begins after all stored slots, even those beyond 19.
    uint64_t fileSize = 0;
    if (!file.size(fileSize) || fileSize >= (uint64_t{1} << 32)) return true;
    const uint64_t dataStart = kSettingsHeaderBytes + uint64_t{storedCount} * kSettingsSlotBytes;
    for (uint32_t i = 0; i < kSettingsSlotCount; ++i) {
        const SettingsSlot s = slots[i];
        if (isSlotWrittenBySave(i) || s.a < kSettingsFirstTextOffset) continue;
        if (s.a < dataStart || uint64_t{s.a} + s.b > fileSize) continue;  // outside the data area
        auto* bytes = static_cast<uint8_t*>(platform::privateHeap().allocate(s.b ? s.b : 1));
        if (!bytes) {
            clear();
            return false;
        }
        if (!file.seek(s.a) || file.read(bytes, s.b) != s.b) {
            platform::privateHeap().release(bytes);
            continue;
        }
        carried[i] = bytes;
    }
    return true;
}

// ---- Building the new content.

namespace {

class TableWriter {
  public:
    TableWriter(SettingsFileImage& image, const PreviousSettingsFile& previous) : image_(image) {
        for (uint32_t i = 0; i < kSettingsSlotCount; ++i) table_[i] = previous.slots[i];
    }

    void number(uint32_t slot, int32_t value) {
        table_[slot] = {kSettingsSlotNumber, static_cast<uint32_t>(value)};
    }

    // Appends the characters (no terminator) at the end of the data area.
    bool text(uint32_t slot, const char16_t* chars, uint32_t length) {
        if (length == 0) {
            table_[slot] = {};
            return true;
        }
        const uint32_t offset = image_.size();
        for (uint32_t i = 0; i < length; ++i)
            if (!image_.appendU16(chars[i])) return false;
        table_[slot] = {offset, image_.size() - offset};
        return true;
    }

    bool text(uint32_t slot, const HeapString& value) {
        return text(slot, value.c_str(), value.length());
    }

    bool bytes(uint32_t slot, const uint8_t* data, uint32_t count) {
        const uint32_t offset = image_.size();
        if (!image_.append(data, count)) return false;
        table_[slot] = {offset, count};
        return true;
    }

    void point(uint32_t slot, uint32_t offset, uint32_t count) { table_[slot] = {offset, count}; }
    void clear(uint32_t slot) { table_[slot] = {}; }
    const SettingsSlot& operator[](uint32_t slot) const { return table_[slot]; }

    void finish() {
        for (uint32_t i = 0; i < kSettingsSlotCount; ++i) {
            image_.overwriteU32(kSettingsHeaderBytes + i * kSettingsSlotBytes, table_[i].a);
            image_.overwriteU32(kSettingsHeaderBytes + i * kSettingsSlotBytes + 4, table_[i].b);
        }
    }

  private:
    SettingsFileImage& image_;
    SettingsSlot table_[kSettingsSlotCount];
};

bool containsNul(const HeapString& name) {
    for (uint32_t i = 0; i < name.length(); ++i)
        if (name.at(i) == 0) return true;
    return false;
}

// The plug-in's file, in the plug-in folder or (no folder set) relative to
// the current directory.
bool pluginFileExists(const HeapString& folder, const HeapString& name) {
    HeapString path;
    if (folder.empty()) {
        if (!path.assign(name.c_str(), name.length())) return false;
    } else if (!path.joinPath(folder.c_str(), folder.length(), name.c_str(), name.length())) {
        return false;
    }
    return platform::pathExists(path.c_str());
}

// The names of switched-off plug-ins that still exist, each followed by NUL.
bool writeDisabledPlugins(TableWriter& table, SettingsFileImage& image, const Settings& settings) {
    const uint32_t offset = image.size();
    for (const NameList::Node* node = settings.disabledPlugins.first(); node; node = node->next) {
        const HeapString& name = node->name;
        // An empty name would test the folder itself; neither names a plug-in.
        if (name.empty() || containsNul(name) || !pluginFileExists(settings.pluginFolder, name))
            continue;
        for (uint32_t i = 0; i < name.length(); ++i)
            if (!image.appendU16(name.at(i))) return false;
        if (!image.appendU16(0)) return false;
    }
    const uint32_t count = image.size() - offset;
    if (count == 0)
        table.clear(kSlotDisabledPlugins);
    else
        table.point(kSlotDisabledPlugins, offset, count);
    return true;
}

}  // namespace

bool buildSettingsFile(const PreviousSettingsFile& previous, const Settings& s,
                       SettingsFileImage& image) {
    image.clear();
    // Header, then the table as it was; the slots are filled in at the end.
    if (!image.appendU16(kSettingsSlotCount) || !image.appendU16(kSettingsFormatTag)) return false;
    for (uint32_t i = 0; i < kSettingsSlotCount * 2; ++i)
        if (!image.appendU32(0)) return false;

    TableWriter table(image, previous);
    bool ok = table.text(kSlotLanguage, s.language);
    table.number(kSlotFontHeight, s.fontHeight);
    table.number(kSlotJpegQuality, s.jpegQuality);
    table.number(kSlotJpegSubsampling, s.jpegSubsampling);
    table.number(kSlotJpegSizeLimitOn, s.jpegSizeLimitOn);
    table.number(kSlotJpegSizeLimitKiB, s.jpegSizeLimitKiB);
    table.number(kSlotKeepTransparency, s.keepTransparency);
    table.number(kSlotResizeOn, s.resizeOn);
    table.number(kSlotResizeMode, s.resizeMode);
    table.number(kSlotResizeTarget, s.resizeTarget);
    ok = ok && table.text(kSlotOutputFolder, s.outputFolder);
    table.number(kSlotSubFolderOn, s.subFolderOn);
    ok = ok && table.text(kSlotSubFolderName, s.subFolderName);
    ok = ok && table.text(kSlotPluginFolder, s.pluginFolder);
    ok = ok && writeDisabledPlugins(table, image, s);
    table.number(kSlotStartMode, s.startMode);
    table.number(kSlotSendToMigrated1, s.sendToMigrated1);
    table.number(kSlotSendToMigrated2, s.sendToMigrated2);
    if (!ok) return false;

    // Texts of slots this version does not use move to the end, unchanged. A
    // text slot whose bytes could not be found in the old file is cleared
    // rather than left pointing at whatever now lies at its old offset.
    for (uint32_t i = 0; i < kSettingsSlotCount; ++i) {
        if (isSlotWrittenBySave(i)) continue;
        if (previous.carried[i]) {
            if (!table.bytes(i, previous.carried[i], previous.slots[i].b)) return false;
        } else if (table[i].a >= kSettingsFirstTextOffset) {
            table.clear(i);
        }
    }
    table.finish();
    return true;
}

// ---- Writing the file.

namespace {

// The folder part of `path` (before its last separator), or "." when the
// path names a file in the current directory.
bool folderForTemporary(const char16_t* path, HeapString& folder) {
    const uint32_t n = static_cast<uint32_t>(platform::textLength(path));
    long cut = -1;
    for (long i = static_cast<long>(n) - 1; i >= 0 && cut < 0; --i) {
        if (path[i] == platform::kPathSeparator || path[i] == u'/') cut = i;
    }
    if (cut < 0) return folder.assign(u".");
    if (cut == 0) return folder.assign(path, 1);  // the root folder
    return folder.assign(path, static_cast<uint32_t>(cut));
}

}  // namespace

bool replaceSettingsFile(const char16_t* path, const SettingsFileImage& image) {
    HeapString folder;
    if (!folderForTemporary(path, folder)) return false;
    char16_t temporary[kSystemPathCapacity];
    if (!platform::createUniqueTempFile(folder.c_str(), u"tmp", temporary, kSystemPathCapacity))
        return false;
    platform::File file;
    bool ok = file.create(temporary) && file.write(image.data(), image.size()) && file.flush();
    file.close();
    ok = ok && platform::replaceFile(temporary, path);
    if (!ok) platform::deleteFile(temporary);
    return ok;
}

bool rewriteSettingsFileInPlace(const char16_t* path, const SettingsFileImage& image) {
    platform::File file;
    uint64_t oldSize = 0;
    if (!file.openForUpdate(path) || !file.size(oldSize) || oldSize > kMaxRestorableBytes)
        return false;
    platform::HeapBlock old;  // at least one byte, so that an empty file has a block too
    if (!old.allocate(oldSize ? oldSize : 1) || !file.seek(0) ||
        file.read(old.data(), oldSize) != oldSize)
        return false;
    if (file.seek(0) && file.write(image.data(), image.size()) && file.setEndOfFile() &&
        file.flush())
        return true;
    if (file.seek(0) && file.write(old.data(), oldSize)) file.setEndOfFile();
    file.flush();
    return false;
}

bool saveSettings(const char16_t* path, const Settings& settings) {
    if (!path || !*path) return false;
    const bool existed = platform::pathExists(path);
    SettingsFileImage image;
    {
        // Opening for writing first: a file that cannot be written is never
        // replaced behind its back.
        platform::File file;
        if (!file.openForUpdate(path)) return false;
        PreviousSettingsFile previous;
        bool built = previous.read(file) && buildSettingsFile(previous, settings, image);
        file.close();
        if (!built) {
            if (!existed) platform::deleteFile(path);
            return false;
        }
    }
    if (replaceSettingsFile(path, image) || rewriteSettingsFileInPlace(path, image)) return true;
    if (!existed) platform::deleteFile(path);
    return false;
}
