// Pages for pixel buffers and large work areas. A batch asks for the same
// few large buffers for every picture, and fresh pages are dear: each one
// faults and is cleared by the system, and each release changes the mapping
// under every thread of the process (together about a quarter of a batch's
// processor time under Wine). Released blocks from 256 KiB up are therefore
// kept, a few at a time, handed out again cleared, and given back to the
// system when the batch ends (releaseCachedPages).
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr size_t kSmallestKept = size_t{256} << 10;
constexpr size_t kMostBlocksKept = 16;
constexpr size_t kMostBytesKept = size_t{256} << 20;
constexpr size_t kPageSize = 4096;

class PageCache {
  public:
    // The smallest kept block of at least `bytes` and at most twice that
    // (a large block is not spent on a small request); null when none.
    void* take(size_t bytes) {
        if (bytes < kSmallestKept) return nullptr;
        AcquireSRWLockExclusive(&lock_);
        size_t best = count_;
        for (size_t i = 0; i < count_; ++i) {
            const size_t size = blocks_[i].size;
            if (size >= bytes && size / 2 <= bytes && (best == count_ || size < blocks_[best].size))
                best = i;
        }
        void* pages = nullptr;
        if (best < count_) {
            pages = blocks_[best].pages;
            bytes_ -= blocks_[best].size;
            removeAt(best);
        }
        ReleaseSRWLockExclusive(&lock_);
        return pages;
    }

    // Keeps a released block, making room by giving back the longest kept;
    // false when it is not to be kept.
    bool keep(void* pages, size_t size) {
        if (size < kSmallestKept || size > kMostBytesKept) return false;
        void* evicted[kMostBlocksKept];
        size_t evictedCount = 0;
        AcquireSRWLockExclusive(&lock_);
        while (count_ > 0 && (count_ == kMostBlocksKept || bytes_ + size > kMostBytesKept)) {
            evicted[evictedCount++] = blocks_[0].pages;
            bytes_ -= blocks_[0].size;
            removeAt(0);
        }
        blocks_[count_++] = {pages, size};
        bytes_ += size;
        ReleaseSRWLockExclusive(&lock_);
        for (size_t i = 0; i < evictedCount; ++i) VirtualFree(evicted[i], 0, MEM_RELEASE);
        return true;
    }

    void clear() {
        AcquireSRWLockExclusive(&lock_);
        while (count_ > 0) {
            VirtualFree(blocks_[count_ - 1].pages, 0, MEM_RELEASE);
            --count_;
        }
        bytes_ = 0;
        ReleaseSRWLockExclusive(&lock_);
    }

  private:
    struct Block {
        void* pages;
        size_t size;
    };
    void removeAt(size_t index) {
        for (size_t i = index + 1; i < count_; ++i) blocks_[i - 1] = blocks_[i];
        --count_;
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    Block blocks_[kMostBlocksKept] = {};
    size_t count_ = 0;
    size_t bytes_ = 0;
};

PageCache& pageCache() {
    static PageCache cache;
    return cache;
}

// The committed length of a block allocatePages handed out (0: not one).
size_t blockSize(void* pages) {
    MEMORY_BASIC_INFORMATION info = {};
    if (VirtualQuery(pages, &info, sizeof info) != sizeof info || info.AllocationBase != pages ||
        info.State != MEM_COMMIT)
        return 0;
    return info.RegionSize;
}

}  // namespace

void* allocatePages(size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX - kPageSize) return nullptr;
    if (void* pages = pageCache().take(bytes)) {
        // Cleared as far as fresh pages would be for this request.
        std::memset(pages, 0, (bytes + kPageSize - 1) / kPageSize * kPageSize);
        return pages;
    }
    void* pages = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!pages) {
        // Kept blocks are the first thing to give up when memory is short.
        pageCache().clear();
        pages = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    }
    return pages;
}

void releasePages(void* pages) {
    if (!pages) return;
    if (pageCache().keep(pages, blockSize(pages))) return;
    VirtualFree(pages, 0, MEM_RELEASE);
}

void releaseCachedPages() {
    pageCache().clear();
}

}  // namespace platform
