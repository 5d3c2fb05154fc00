#include "cli/settings_options.h"

#include <string>

#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "platform/utf8.h"

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

bool saveSettingsToFile(const char16_t* path, const Settings& settings) {
    return saveSettings(path, settings);
}
