#include "codecs/png/png_zlib.h"

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace png {
namespace {

voidpf heapAlloc(voidpf, uInt items, uInt size) {
    uint64_t bytes = static_cast<uint64_t>(items) * size;
    if (bytes == 0 || bytes > SIZE_MAX) return Z_NULL;
    return platform::privateHeap().allocate(static_cast<size_t>(bytes));
}

void heapFree(voidpf, voidpf block) {
    platform::privateHeap().release(block);
}

}  // namespace

void useHeapAllocator(z_stream& stream) {
    stream.zalloc = heapAlloc;
    stream.zfree = heapFree;
    stream.opaque = Z_NULL;
}

}  // namespace png
