#include "dialog_template.h"

#include <cstring>

namespace langtest {
namespace {

constexpr uint32_t kSetFontStyle = 0x40;  // DS_SETFONT

// Little-endian reads that fail instead of running past the end.
class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t offset() const { return offset_; }
    bool ok() const { return ok_; }

    uint8_t u8() { return ok_ && need(1) ? bytes_[offset_++] : 0; }
    uint16_t u16() {
        if (!ok_ || !need(2)) return 0;
        uint16_t v = static_cast<uint16_t>(bytes_[offset_] | bytes_[offset_ + 1] << 8);
        offset_ += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t low = u16();
        return low | static_cast<uint32_t>(u16()) << 16;
    }
    int16_t s16() { return static_cast<int16_t>(u16()); }

    std::wstring string() {
        std::wstring text;
        for (uint16_t c = u16(); ok_ && c != 0; c = u16()) text.push_back(static_cast<wchar_t>(c));
        return text;
    }
    NameOrOrdinal nameOrOrdinal() {
        NameOrOrdinal field;
        uint16_t first = u16();
        if (first == 0xFFFF) {
            field.ordinal = u16();
        } else if (first != 0) {
            field.name.push_back(static_cast<wchar_t>(first));
            field.name += string();
        }
        return field;
    }
    void alignTo4() {
        size_t aligned = (offset_ + 3) & ~size_t{3};
        if (aligned > bytes_.size()) ok_ = false;
        offset_ = aligned;
    }
    void skip(size_t count) {
        if (ok_ && need(count)) offset_ += count;
    }

  private:
    bool need(size_t count) {
        if (bytes_.size() - offset_ < count) ok_ = false;
        return ok_;
    }

    std::span<const uint8_t> bytes_;
    size_t offset_ = 0;
    bool ok_ = true;
};

}  // namespace

std::optional<DialogTemplate> readDialogTemplate(std::span<const uint8_t> bytes) {
    Reader in(bytes);
    DialogTemplate dialog;
    dialog.version = in.u16();
    dialog.signature = in.u16();
    if (!in.ok() || dialog.version != 1 || dialog.signature != 0xFFFF) return std::nullopt;
    in.u32();  // help id
    dialog.exStyle = in.u32();
    dialog.style = in.u32();
    uint16_t itemCount = in.u16();
    in.s16();
    in.s16();
    dialog.cx = in.s16();
    dialog.cy = in.s16();
    in.nameOrOrdinal();  // menu
    in.nameOrOrdinal();  // class
    dialog.title = in.string();
    if (!(dialog.style & kSetFontStyle)) return std::nullopt;
    dialog.pointSizeOffset = in.offset();
    dialog.pointSize = in.u16();
    dialog.weight = in.u16();
    in.u8();  // italic
    dialog.charset = in.u8();
    dialog.typeface = in.string();
    for (uint16_t i = 0; i < itemCount && in.ok(); ++i) {
        in.alignTo4();
        DialogItem item;
        in.u32();  // help id
        item.exStyle = in.u32();
        item.style = in.u32();
        item.x = in.s16();
        item.y = in.s16();
        item.cx = in.s16();
        item.cy = in.s16();
        item.id = in.u32();
        item.windowClass = in.nameOrOrdinal();
        item.title = in.nameOrOrdinal();
        in.skip(in.u16());  // creation data
        dialog.items.push_back(std::move(item));
    }
    if (!in.ok()) return std::nullopt;
    dialog.totalSize = in.offset();
    return dialog;
}

std::wstring className(const NameOrOrdinal& windowClass) {
    switch (windowClass.ordinal) {
        case 0:
            return windowClass.name;
        case 0x80:
            return L"Button";
        case 0x81:
            return L"Edit";
        case 0x82:
            return L"Static";
        case 0x83:
            return L"ListBox";
        case 0x84:
            return L"ScrollBar";
        case 0x85:
            return L"ComboBox";
        default:
            return L"#" + std::to_wstring(windowClass.ordinal);
    }
}

}  // namespace langtest
