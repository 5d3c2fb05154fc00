// Table-driven alpha blending: entry(a, v) is v scaled by a / 255, rounded,
// so a composite is entry(alpha, sample) + entry(255 - alpha, background).
#pragma once

#include <cstdint>

#include "platform/owned_memory.h"

namespace png {

class BlendTable {
  public:
    // Builds the 256 x 256 table on the private heap; false when refused.
    bool build();
    bool valid() const { return table_.data() != nullptr; }
    uint8_t entry(uint8_t a, uint8_t v) const { return table_.data()[a << 8 | v]; }
    uint8_t composite(uint8_t alpha, uint8_t sample, uint8_t background) const {
        return static_cast<uint8_t>(entry(alpha, sample) +
                                    entry(static_cast<uint8_t>(255 - alpha), background));
    }
    // The row of one alpha value, indexed by the sample.
    const uint8_t* row(uint8_t a) const { return table_.data() + (a << 8); }

  private:
    platform::HeapBlock table_;
};

}  // namespace png
