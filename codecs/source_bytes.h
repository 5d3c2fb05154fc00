// A source file read whole into private memory, with the size and last-write
// time it had. Readers parse these bytes, never the file itself: another
// program may cut, rewrite or take away the file (or the share it lies on)
// while a batch runs, and a view of the file would then fault in the middle
// of a decoder. A private copy cannot change underneath, so the worst a
// reader meets is a file that changed while it was being read, and that is
// refused before any decoder sees it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/owned_memory.h"

class SourceBytes {
  public:
    SourceBytes() = default;
    SourceBytes(const SourceBytes&) = delete;
    SourceBytes& operator=(const SourceBytes&) = delete;

    // Reads the whole file. Returns kStatusOk, or kStatusInputError (cannot
    // be opened or read, empty, or 4 GiB or more), kStatusNoMemory, or
    // kStatusSourceChanged (its size or last-write time moved while it was
    // read, or it ended early). Nothing is held after a failure.
    uint32_t load(const char16_t* path);
    // Gives the memory back.
    void reset();

    // True when the file still has the size and last-write time it had when
    // it was read: for code that read it again by its path (an image
    // plug-in), which must not pass off a changed file as the one read here.
    bool unchangedOnDisk(const char16_t* path) const;

    const uint8_t* data() const { return buffer_.data(); }
    // Private to this object: changes never reach the file.
    uint8_t* writableData() { return buffer_.data(); }
    size_t size() const { return size_; }
    uint64_t lastWriteTime() const { return lastWriteTime_; }

  private:
    platform::PageBuffer buffer_;
    size_t size_ = 0;
    uint64_t lastWriteTime_ = 0;
};
