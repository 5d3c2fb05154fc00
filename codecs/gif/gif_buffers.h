// Owning handles for the work buffers of the GIF codecs: page allocations for
// picture-sized buffers, private-heap blocks for small tables. Both are
// zero-filled when they arrive and given back when the handle goes away.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace gif {

class PageBuffer {
  public:
    PageBuffer() = default;
    ~PageBuffer() { platform::releasePages(data_); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    // False when the pages cannot be had (a size of 0 is refused as well).
    bool allocate(size_t bytes) {
        platform::releasePages(data_);
        data_ = static_cast<uint8_t*>(platform::allocatePages(bytes));
        return data_ != nullptr;
    }
    uint8_t* data() const { return data_; }

  private:
    uint8_t* data_ = nullptr;
};

template <typename T>
class HeapBlock {
  public:
    HeapBlock() = default;
    ~HeapBlock() { platform::privateHeap().release(data_); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;

    bool allocate() {
        platform::privateHeap().release(data_);
        data_ = static_cast<T*>(platform::privateHeap().allocate(sizeof(T)));
        return data_ != nullptr;
    }
    T* get() const { return data_; }
    T* operator->() const { return data_; }

  private:
    T* data_ = nullptr;
};

}  // namespace gif
