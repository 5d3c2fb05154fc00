// Extended dialog templates (DLGTEMPLATEEX) from a language library, copied
// to the private heap with their font size patched so that every dialog
// follows the user's font-size choice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace app {

// Where a template ends and where its point-size field lies.
struct DialogTemplateLayout {
    size_t size = 0;             // bytes up to the end of the last item
    size_t pointSizeOffset = 0;  // offset of the font's point size
};

// Walks the header (menu, class and title: a NUL-terminated string, or 0xFFFF
// and a 16-bit ordinal), the font fields and every item (each aligned to four
// bytes: class, title, creation data). False when the bytes are not an
// extended template with DS_SETFONT, or any field runs past `available`.
bool measureDialogTemplate(const uint8_t* data, size_t available, DialogTemplateLayout& layout);

// A box in dialog units (x and width in quarters of the font's average
// character width, y and height in eighths of its height).
struct DialogUnitsBox {
    int x = 0, y = 0, width = 0, height = 0;
};

// The dialog's box and each item's, in item order, which is the order the
// dialog manager creates the controls in.
struct DialogBoxes {
    DialogUnitsBox dialog;
    std::vector<DialogUnitsBox> items;
};

// measureDialogTemplate that also reads the boxes.
bool readDialogBoxes(const uint8_t* data, size_t available, DialogBoxes& boxes);

// 11 points for the large font (height -14), else 9.
uint16_t dialogPointSize(int32_t fontHeight);

// A patched copy on the private heap, freed when the object goes away.
class DialogTemplateCopy {
  public:
    DialogTemplateCopy() = default;
    ~DialogTemplateCopy();
    DialogTemplateCopy(const DialogTemplateCopy&) = delete;
    DialogTemplateCopy& operator=(const DialogTemplateCopy&) = delete;
    DialogTemplateCopy(DialogTemplateCopy&& other) noexcept;
    DialogTemplateCopy& operator=(DialogTemplateCopy&& other) noexcept;

    // Copies a template found in a resource; false (and empty) when it is
    // malformed or memory is refused.
    bool copyFrom(const uint8_t* data, size_t available, int32_t fontHeight);

    bool valid() const { return data_ != nullptr; }
    // Aligned for DialogBoxIndirectParamW (heap blocks are).
    const void* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    void release();

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace app
