// The copy step of delivery, the same on every platform: the temporary file's
// bytes into the hidden output file, flushed to disk and closed with its
// result checked.
#include <cstdint>

#include "platform/owned_memory.h"
#include "platform/platform.h"

namespace platform {

bool copyAndCommit(const char16_t* from, File& to) {
    File source;
    if (!to.isOpen() || !source.openForReading(from)) {
        to.close();
        return false;
    }
    static constexpr size_t kChunk = 1 << 20;
    PageBuffer chunk;
    bool ok = chunk.allocate(kChunk);
    while (ok) {
        size_t got = 0;
        ok = source.readSome(chunk.data(), kChunk, got);
        if (!ok || got == 0) break;
        ok = to.write(chunk.data(), got);
    }
    ok = to.flush() && ok;
    return to.closeChecked() && ok;
}

}  // namespace platform
