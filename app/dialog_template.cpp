#include "app/dialog_template.h"

#include <cstring>
#include <utility>

#include "platform/platform.h"

namespace app {

namespace {

constexpr uint32_t kDsSetFont = 0x40;
// dlgVer, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
constexpr size_t kHeaderBytes = 26;
constexpr size_t kStyleOffset = 12;
constexpr size_t kItemCountOffset = 16;
constexpr size_t kBoxOffset = 18;
// helpID, exStyle, style, x, y, cx, cy, id.
constexpr size_t kItemHeaderBytes = 24;
constexpr size_t kItemBoxOffset = 12;

// A bounded reader over the resource bytes; every step fails instead of
// reading past the end.
class TemplateCursor {
  public:
    TemplateCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t offset() const { return offset_; }
    bool skip(size_t bytes) {
        if (bytes > size_ - offset_) return false;
        offset_ += bytes;
        return true;
    }
    bool readU16(uint16_t& value) {
        if (size_ - offset_ < 2) return false;
        value = static_cast<uint16_t>(data_[offset_] | (data_[offset_ + 1] << 8));
        offset_ += 2;
        return true;
    }
    bool alignTo4() { return skip((4 - (offset_ & 3)) & 3); }
    // A NUL-terminated UTF-16 string.
    bool skipString() {
        uint16_t unit = 0;
        do {
            if (!readU16(unit)) return false;
        } while (unit != 0);
        return true;
    }
    // A string, or 0xFFFF followed by a 16-bit ordinal.
    bool skipStringOrOrdinal() {
        if (size_ - offset_ < 2) return false;
        if (data_[offset_] == 0xFF && data_[offset_ + 1] == 0xFF) return skip(4);
        return skipString();
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

int16_t readS16(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | p[1] << 8);
}

// x, y, cx, cy as four 16-bit signed numbers.
DialogUnitsBox readBox(const uint8_t* p) {
    return {readS16(p), readS16(p + 2), readS16(p + 4), readS16(p + 6)};
}

uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Walks the template; collects the boxes when `boxes` is given.
bool walkDialogTemplate(const uint8_t* data, size_t available, DialogTemplateLayout& layout,
                        DialogBoxes* boxes) {
    layout = {};
    if (!data || available < kHeaderBytes) return false;
    const uint16_t version = static_cast<uint16_t>(data[0] | data[1] << 8);
    const uint16_t signature = static_cast<uint16_t>(data[2] | data[3] << 8);
    if (version != 1 || signature != 0xFFFF) return false;
    const uint32_t style = readU32(data + kStyleOffset);
    const uint16_t itemCount =
        static_cast<uint16_t>(data[kItemCountOffset] | data[kItemCountOffset + 1] << 8);
    if (!(style & kDsSetFont)) return false;

    TemplateCursor cursor(data, available);
    if (!cursor.skip(kHeaderBytes)) return false;
    if (boxes) {
        boxes->dialog = readBox(data + kBoxOffset);
        boxes->items.clear();
    }
    if (!cursor.skipStringOrOrdinal() || !cursor.skipStringOrOrdinal() ||
        !cursor.skipStringOrOrdinal())
        return false;
    const size_t pointSizeOffset = cursor.offset();
    // Point size, weight, italic and character set, then the face name.
    if (!cursor.skip(6) || !cursor.skipString()) return false;

    for (uint16_t i = 0; i < itemCount; ++i) {
        uint16_t extraBytes = 0;
        if (!cursor.alignTo4()) return false;
        const size_t item = cursor.offset();
        if (!cursor.skip(kItemHeaderBytes)) return false;
        if (boxes) boxes->items.push_back(readBox(data + item + kItemBoxOffset));
        if (!cursor.skipStringOrOrdinal() || !cursor.skipStringOrOrdinal() ||
            !cursor.readU16(extraBytes) || !cursor.skip(extraBytes))
            return false;
    }
    layout.size = cursor.offset();
    layout.pointSizeOffset = pointSizeOffset;
    return true;
}

}  // namespace

bool measureDialogTemplate(const uint8_t* data, size_t available, DialogTemplateLayout& layout) {
    return walkDialogTemplate(data, available, layout, nullptr);
}

bool readDialogBoxes(const uint8_t* data, size_t available, DialogBoxes& boxes) {
    DialogTemplateLayout layout;
    return walkDialogTemplate(data, available, layout, &boxes);
}

uint16_t dialogPointSize(int32_t fontHeight) {
    return fontHeight == -14 ? 11 : 9;
}

DialogTemplateCopy::~DialogTemplateCopy() {
    release();
}

DialogTemplateCopy::DialogTemplateCopy(DialogTemplateCopy&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

DialogTemplateCopy& DialogTemplateCopy::operator=(DialogTemplateCopy&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

bool DialogTemplateCopy::copyFrom(const uint8_t* data, size_t available, int32_t fontHeight) {
    release();
    DialogTemplateLayout layout;
    if (!measureDialogTemplate(data, available, layout)) return false;
    data_ = static_cast<uint8_t*>(platform::privateHeap().allocate(layout.size));
    if (!data_) return false;
    std::memcpy(data_, data, layout.size);
    size_ = layout.size;
    const uint16_t points = dialogPointSize(fontHeight);
    data_[layout.pointSizeOffset] = static_cast<uint8_t>(points & 0xFF);
    data_[layout.pointSizeOffset + 1] = static_cast<uint8_t>(points >> 8);
    return true;
}

void DialogTemplateCopy::release() {
    platform::privateHeap().release(data_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace app
