#include "codecs/source_bytes.h"

#include <algorithm>

#include "codecs/codec_status.h"
#include "platform/platform.h"

namespace {

// One system read at most this long: Windows counts a read in 32 bits.
constexpr size_t kReadChunk = size_t{64} << 20;

struct FileStamp {
    uint64_t size = 0;
    uint64_t lastWriteTime = 0;
    bool operator==(const FileStamp&) const = default;
};

bool stampOf(const platform::File& file, FileStamp& stamp) {
    if (!file.size(stamp.size)) return false;
    stamp.lastWriteTime = file.lastWriteTime();
    return true;
}

}  // namespace

uint32_t SourceBytes::load(const char16_t* path) {
    reset();
    platform::File file;
    FileStamp before;
    if (!file.openForReading(path) || !stampOf(file, before)) return kStatusInputError;
    if (before.size == 0 || before.size >> 32 != 0) return kStatusInputError;
    if (!buffer_.allocate(before.size)) return kStatusNoMemory;

    uint8_t* out = buffer_.data();
    uint64_t done = 0;
    while (done < before.size) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadChunk, before.size - done));
        if (!file.readSome(out + done, want, got)) {
            reset();
            return kStatusInputError;
        }
        if (got == 0) break;  // the file ended early: it was cut while being read
        done += got;
    }
    // A file that still has bytes beyond its old end grew meanwhile.
    uint8_t extra = 0;
    size_t beyond = 0;
    FileStamp after;
    const bool same = done == before.size && file.readSome(&extra, 1, beyond) && beyond == 0 &&
                      stampOf(file, after) && after == before;
    if (!same) {
        reset();
        return kStatusSourceChanged;
    }
    size_ = static_cast<size_t>(before.size);
    lastWriteTime_ = before.lastWriteTime;
    return kStatusOk;
}

void SourceBytes::reset() {
    buffer_.reset();
    size_ = 0;
    lastWriteTime_ = 0;
}

bool SourceBytes::unchangedOnDisk(const char16_t* path) const {
    platform::File file;
    FileStamp now;
    return size_ != 0 && file.openForReading(path) && stampOf(file, now) &&
           now == FileStamp{size_, lastWriteTime_};
}
