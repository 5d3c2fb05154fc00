#include "driver/format_table.h"

namespace {

bool sameName(const char* name, const char* wanted) {
    if (!name) return false;
    for (; *name && *wanted; ++name, ++wanted) {
        char c = *wanted;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (*name != c) return false;
    }
    return *name == 0 && *wanted == 0;
}

}  // namespace

const FormatEntry& outputFormatEntry(FormatTable table, OutputFormat format) {
    for (const FormatEntry& entry : table)
        if (entry.writes() && entry.output == format) return entry;
    return table[0];
}

const FormatEntry* readerFor(FormatTable table, ImageFormat format) {
    for (const FormatEntry& entry : table)
        if (entry.read && entry.input == format) return &entry;
    return nullptr;
}

const FormatEntry* formatOfButton(FormatTable table, uint32_t id) {
    for (const FormatEntry& entry : table)
        if (entry.writes() && entry.uiStringId != 0 && entry.uiStringId == id) return &entry;
    return nullptr;
}

const FormatEntry* formatOfStartMode(FormatTable table, int mode) {
    int button = 0;
    for (const FormatEntry& entry : table)
        if (entry.writes() && entry.uiStringId != 0 && ++button == mode) return &entry;
    return nullptr;
}

const FormatEntry* outputFormatNamed(FormatTable table, const char* name) {
    for (const FormatEntry& entry : table)
        if (entry.writes() && (sameName(entry.name, name) || sameName(entry.alias, name)))
            return &entry;
    return nullptr;
}
