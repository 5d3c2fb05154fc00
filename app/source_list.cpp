#include "app/source_list.h"

#include <new>

#include "platform/platform.h"

namespace app {

bool SourceList::allocate(uint32_t count) {
    clear();
    // One block even for no paths, so that an empty drop is still a list.
    void* block = platform::privateHeap().allocate(sizeof(HeapString) * (count ? count : 1));
    if (!block) return false;
    items_ = static_cast<HeapString*>(block);
    for (uint32_t i = 0; i < count; ++i) new (items_ + i) HeapString;
    count_ = count;
    return true;
}

void SourceList::clear() {
    for (uint32_t i = 0; i < count_; ++i) items_[i].~HeapString();
    platform::privateHeap().release(items_);
    items_ = nullptr;
    count_ = 0;
}

void SourceList::takeFrom(SourceList& other) {
    if (&other == this) return;
    clear();
    items_ = other.items_;
    count_ = other.count_;
    other.items_ = nullptr;
    other.count_ = 0;
}

}  // namespace app
