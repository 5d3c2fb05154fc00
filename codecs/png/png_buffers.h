// Owning handles for the two kinds of work memory the PNG codecs use: page
// allocations for large buffers and private-heap blocks for small ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/platform.h"

namespace png {

// A zero-filled page allocation, released when the object goes away.
class PageBuffer {
  public:
    PageBuffer() = default;
    ~PageBuffer() { reset(); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    bool allocate(uint64_t bytes) {
        reset();
        if (bytes == 0 || bytes > SIZE_MAX) return false;
        data_ = static_cast<uint8_t*>(platform::allocatePages(static_cast<size_t>(bytes)));
        return data_ != nullptr;
    }
    void reset() {
        platform::releasePages(data_);
        data_ = nullptr;
    }
    // Gives up ownership (the pixel buffer passes to the caller).
    uint8_t* release() { return std::exchange(data_, nullptr); }
    uint8_t* data() const { return data_; }

  private:
    uint8_t* data_ = nullptr;
};

// A zero-filled block of the private heap, released when the object goes away.
class HeapBlock {
  public:
    HeapBlock() = default;
    ~HeapBlock() { reset(); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    bool allocate(uint64_t bytes) {
        reset();
        if (bytes == 0 || bytes > SIZE_MAX) return false;
        data_ = static_cast<uint8_t*>(platform::privateHeap().allocate(static_cast<size_t>(bytes)));
        return data_ != nullptr;
    }
    void reset() {
        platform::privateHeap().release(data_);
        data_ = nullptr;
    }
    uint8_t* data() const { return data_; }

  private:
    uint8_t* data_ = nullptr;
};

}  // namespace png
