#include "cli/settings_options.h"

#include <string>

#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "platform/platform.h"
#include "platform/utf8.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// UTF-8 of a UTF-16 text that may hold NULs; unpaired surrogates become
// U+FFFD and control characters \xHH.
std::string printable(const HeapString& text) {
    std::string out;
    const uint32_t n = text.length();
    for (uint32_t i = 0; i < n; ++i) {
        char32_t c = text.at(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text.at(i + 1) >= 0xDC00 &&
            text.at(i + 1) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text.at(i + 1) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x20 || c == 0x7F) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            platform::appendUtf8(out, c);
        }
    }
    return out;
}

void printNumber(FILE* out, const char* name, int32_t value) {
    std::fprintf(out, "%s=%ld\n", name, static_cast<long>(value));
}

void printText(FILE* out, const char* name, const HeapString& value) {
    std::fprintf(out, "%s=%s\n", name, printable(value).c_str());
}

}  // namespace

bool loadSettingsFromFile(const char16_t* path, Settings& settings) {
    SettingsFileReader reader;
    if (!reader.open(path)) return false;
    loadAllSettings(reader, settings);
    return true;
}

void printSettings(const Settings& s, FILE* out) {
    printText(out, "language", s.language);
    printNumber(out, "fontHeight", s.fontHeight);
    printNumber(out, "jpegQuality", s.jpegQuality);
    printNumber(out, "jpegSubsampling", s.jpegSubsampling);
    printNumber(out, "jpegSizeLimitOn", s.jpegSizeLimitOn);
    printNumber(out, "jpegSizeLimitKiB", s.jpegSizeLimitKiB);
    printNumber(out, "resizeOn", s.resizeOn);
    printNumber(out, "resizeMode", s.resizeMode);
    printNumber(out, "resizeTarget", s.resizeTarget);
    printText(out, "outputFolder", s.outputFolder);
    printNumber(out, "subFolderOn", s.subFolderOn);
    printText(out, "subFolderName", s.subFolderName);
    printText(out, "pluginFolder", s.pluginFolder);
    printNumber(out, "startMode", s.startMode);
    printNumber(out, "sendToMigrated1", s.sendToMigrated1);
    printNumber(out, "sendToMigrated2", s.sendToMigrated2);
    if (!s.disabledPlugins.first()) std::fprintf(out, "disabledPlugins=\n");
    for (const NameList::Node* node = s.disabledPlugins.first(); node; node = node->next)
        printText(out, "disabledPlugins", node->name);
    printNumber(out, "keepTransparency", s.keepTransparency);
}

namespace {

constexpr uint32_t kSlotBytes = 8;
constexpr uint32_t kHeaderBytes = 4;

uint32_t loadLE32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Header and slot table agree with the file: at least one slot, the table
// inside the file, and every slot empty ({0, 0}), a number ({1, value}) or a
// text of whole UTF-16 characters inside the data area.
bool isConsistentSettingsFile(platform::File& file, uint64_t size) {
    uint8_t header[kHeaderBytes];
    if (size < kHeaderBytes || size >> 32 || file.read(header, kHeaderBytes) != kHeaderBytes)
        return false;
    const uint32_t count = static_cast<uint32_t>(header[0] | header[1] << 8);
    const uint64_t dataStart = kHeaderBytes + uint64_t{kSlotBytes} * count;
    if (count == 0 || dataStart > size) return false;
    std::string table(count * kSlotBytes, '\0');
    if (file.read(table.data(), table.size()) != table.size()) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const auto* slot = reinterpret_cast<const uint8_t*>(table.data()) + i * kSlotBytes;
        const uint32_t a = loadLE32(slot);
        const uint32_t b = loadLE32(slot + 4);
        if (a == 0 && b != 0) return false;
        if (a >= 2 && (a < dataStart || b % 2 != 0 || uint64_t{a} + b > size)) return false;
    }
    return true;
}

#ifndef _WIN32
// The replacement is written as a new private file and renamed over the old
// one; the old file's permission bits are put back on it.
bool permissionsOf(const std::string& path, mode_t& mode) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    mode = info.st_mode & 07777;
    return true;
}
#endif

}  // namespace

SettingsTarget inspectSettingsTarget(const char16_t* path) {
    if (!platform::pathExists(path)) return SettingsTarget::Missing;
    if (platform::isDirectory(path)) return SettingsTarget::Folder;
    platform::File file;
    uint64_t size = 0;
    if (!file.openForReading(path) || !file.size(size)) return SettingsTarget::Unreadable;
    if (size == 0) return SettingsTarget::Empty;
    return isConsistentSettingsFile(file, size) ? SettingsTarget::SettingsFile
                                                : SettingsTarget::NotSettingsFile;
}

bool saveSettingsToFile(const char16_t* path, const Settings& settings, std::string& error) {
    const std::string name = platform::toUtf8(path);
    switch (inspectSettingsTarget(path)) {
        case SettingsTarget::Folder:
            error = name + " is a folder, not a settings file";
            return false;
        case SettingsTarget::Unreadable:
            error = "cannot read " + name + " to check that it is a settings file";
            return false;
        case SettingsTarget::NotSettingsFile:
            error = name + " is not a settings file; it was left untouched";
            return false;
        case SettingsTarget::Missing:
        case SettingsTarget::Empty:
        case SettingsTarget::SettingsFile:
            break;
    }
#ifndef _WIN32
    mode_t mode = 0;
    if (!permissionsOf(name, mode)) {
        // A new file gets the usual permissions of a new file, not the
        // private ones of the temporary it is written as.
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
#endif
    if (!saveSettings(path, settings)) {
        error = "cannot write settings file " + name;
        return false;
    }
#ifndef _WIN32
    mode_t now = 0;
    if (permissionsOf(name, now) && now != mode) chmod(name.c_str(), mode);
#endif
    return true;
}
