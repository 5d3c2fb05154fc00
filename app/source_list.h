// The paths of one batch: an array of heap strings on the private heap, so
// that a refused allocation is an answer rather than an exception.
#pragma once

#include <cstdint>

#include "core/heap_string.h"

namespace app {

class SourceList {
  public:
    SourceList() = default;
    ~SourceList() { clear(); }
    SourceList(const SourceList&) = delete;
    SourceList& operator=(const SourceList&) = delete;

    // Room for `count` empty strings (replacing what was there); false when
    // memory is refused.
    bool allocate(uint32_t count);
    void clear();
    // Takes `other`'s paths over, leaving it empty.
    void takeFrom(SourceList& other);

    bool active() const { return items_ != nullptr; }
    uint32_t count() const { return count_; }
    HeapString& operator[](uint32_t i) { return items_[i]; }
    const HeapString* data() const { return items_; }

  private:
    HeapString* items_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace app
