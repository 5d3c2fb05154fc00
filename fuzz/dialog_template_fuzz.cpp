// The walk over an extended dialog template from a language library, the
// boxes read with it, and the patched copy made from it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/dialog_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    app::DialogTemplateLayout layout;
    if (!app::measureDialogTemplate(data, size, layout)) return 0;
    // The template lies inside the input, its point size inside the template.
    if (layout.size > size || layout.pointSizeOffset + 2 > layout.size) std::abort();

    // The boxes come from the same walk: one per item, read only where the
    // walk found the template valid.
    app::DialogBoxes boxes;
    if (!app::readDialogBoxes(data, size, boxes)) std::abort();
    if (boxes.items.size() != static_cast<size_t>(data[16] | data[17] << 8)) std::abort();

    app::DialogTemplateCopy copy;
    if (!copy.copyFrom(data, size, -14) || copy.size() != layout.size) std::abort();
    const auto* copied = static_cast<const uint8_t*>(copy.data());
    for (size_t i = 0; i < layout.size; ++i) {
        const bool patched = i == layout.pointSizeOffset || i == layout.pointSizeOffset + 1;
        const uint8_t want = i == layout.pointSizeOffset ? 11 : patched ? 0 : data[i];
        if (copied[i] != want) std::abort();
    }
    return 0;
}
