// An independent reader of extended dialog templates (DLGTEMPLATEEX), used by
// the tests to check what a language library ships.  It reads only within the
// given bytes and answers "malformed" instead of reading past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace langtest {

// A class or menu field: empty, a 16-bit ordinal, or a name.
struct NameOrOrdinal {
    uint16_t ordinal = 0;  // non-zero when the field is an ordinal
    std::wstring name;
};

struct DialogItem {
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    NameOrOrdinal windowClass;
    NameOrOrdinal title;
};

struct DialogTemplate {
    uint16_t version = 0;
    uint16_t signature = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t cx = 0, cy = 0;
    std::wstring title;
    uint16_t pointSize = 0;
    size_t pointSizeOffset = 0;  // byte offset of the point-size field
    uint16_t weight = 0;
    uint8_t charset = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
    size_t totalSize = 0;  // bytes up to the end of the last item
};

// Null when the bytes are not a complete extended template with DS_SETFONT.
std::optional<DialogTemplate> readDialogTemplate(std::span<const uint8_t> bytes);

// The predefined class of an ordinal (0x80 "Button" ... 0x85 "ComboBox"), or
// the name itself.
std::wstring className(const NameOrOrdinal& windowClass);

}  // namespace langtest
