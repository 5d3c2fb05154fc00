// Owning handles over the platform's two kinds of work memory: page
// allocations for picture-sized buffers and private-heap blocks for small
// tables. Memory arrives zero-filled and is given back when the handle goes
// away, is reset or allocates again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/platform.h"

namespace platform {

struct PageMemory {
    static void* allocate(size_t bytes) { return allocatePages(bytes); }
    static void release(void* block) { releasePages(block); }
};
struct HeapMemory {
    static void* allocate(size_t bytes) { return privateHeap().allocate(bytes); }
    static void release(void* block) { privateHeap().release(block); }
};

template <class Memory>
class OwnedBlock {
  public:
    OwnedBlock() = default;
    ~OwnedBlock() { reset(); }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    // False when the memory cannot be had; 0 bytes, and sizes beyond the
    // address space, are refused too.
    bool allocate(uint64_t bytes) {
        reset();
        if (bytes == 0 || bytes > SIZE_MAX) return false;
        data_ = static_cast<uint8_t*>(Memory::allocate(static_cast<size_t>(bytes)));
        return data_ != nullptr;
    }
    void reset() {
        Memory::release(data_);
        data_ = nullptr;
    }
    // Gives up ownership (a pixel buffer passing to the caller).
    uint8_t* release() { return std::exchange(data_, nullptr); }
    uint8_t* data() const { return data_; }
    // The block seen as `T` (a table allocated with sizeof(T) bytes).
    template <class T>
    T* as() const {
        return reinterpret_cast<T*>(data_);
    }

  private:
    uint8_t* data_ = nullptr;
};

using PageBuffer = OwnedBlock<PageMemory>;
using HeapBlock = OwnedBlock<HeapMemory>;

// A typed array in a page allocation, for code that indexes it.
struct PageDeleter {
    void operator()(void* pages) const { releasePages(pages); }
};
template <class T>
using PageArray = std::unique_ptr<T[], PageDeleter>;

// Zero-filled page allocation of `count` elements; null when refused (also
// for 0 elements).
template <class T>
PageArray<T> allocatePageArray(uint64_t count) {
    if (count == 0 || count > SIZE_MAX / sizeof(T)) return nullptr;
    return PageArray<T>(static_cast<T*>(allocatePages(static_cast<size_t>(count) * sizeof(T))));
}

}  // namespace platform
