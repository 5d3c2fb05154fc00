// The whole source file mapped read-only and parsed with plain pointers
// between base and end. Every native reader reads through one.
#pragma once

#include <cstdint>

#include "codecs/codec_status.h"
#include "core/image_record.h"
#include "platform/platform.h"

class MappedInput {
  public:
    MappedInput() = default;
    MappedInput(const MappedInput&) = delete;
    MappedInput& operator=(const MappedInput&) = delete;

    // Opens and maps the whole file. Returns the file size, or 0 (status
    // 50004) when it cannot be opened or mapped, is empty, or is 4 GiB or more.
    uint32_t openReadOnly(const char16_t* path);
    // The same with a private copy-on-write view: changes made through the
    // view never reach the file. The file is opened for reading only.
    uint32_t openCopyOnWrite(const char16_t* path);
    // Unmaps the view, then closes the file.
    void close();

    const uint8_t* base = nullptr;
    const uint8_t* cursor = nullptr;
    const uint8_t* end = nullptr;     // nothing at or after it may be read
    uint8_t* writableView = nullptr;  // set only for a copy-on-write view
    uint64_t lastWriteTime = 0;
    uint32_t status = kStatusOk;

    uint32_t size() const { return static_cast<uint32_t>(end - base); }
    // Bytes left from `at` to the end (0 when `at` lies outside the file).
    uint64_t remaining(const uint8_t* at) const {
        return at >= base && at < end ? static_cast<uint64_t>(end - at) : 0;
    }

  private:
    uint32_t open(const char16_t* path, bool copyOnWrite);
    platform::File file_;
    platform::FileMapping mapping_;
};

// The common entry of every reader: clears the record's palette and pixel
// pointer, maps the file and records size and time. Returns false (with the
// input's status set) when the file cannot be used.
bool beginRead(MappedInput& input, const char16_t* path, ImageRecord& record);

// Attaches the record to fill: the given one, or one allocated zero-filled
// from the private heap (status 50001 and null when that fails).
ImageRecord* attachRecord(MappedInput& input, ImageRecord* given);
// The common exit: on failure releases the pixel buffer and a record that
// attachRecord allocated, and gives null.
ImageRecord* finishRead(bool ok, ImageRecord* target, const ImageRecord* given);

// Runs a reader's own decoding between the common entry and exit steps:
// attach the record, map the file, decode, unmap.
template <class Decode>
ImageRecord* readMapped(MappedInput& input, const char16_t* path, ImageRecord* given,
                        Decode&& decode) {
    ImageRecord* target = attachRecord(input, given);
    if (!target) return nullptr;
    const bool ok = beginRead(input, path, *target) && decode(*target);
    input.close();
    return finishRead(ok, target, given);
}

// Cursor readers: read at the cursor and advance it. They do not test the
// end; callers test it first.
uint16_t readU16LE(const uint8_t*& cursor);
uint16_t readU16BE(const uint8_t*& cursor);
uint32_t readU32LE(const uint8_t*& cursor);
uint32_t readU32BE(const uint8_t*& cursor);
using U16Reader = uint16_t (*)(const uint8_t*&);
using U32Reader = uint32_t (*)(const uint8_t*&);

// Plain loads without a cursor.
inline uint16_t loadU16LE(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint16_t loadU16BE(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t loadU32LE(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint32_t loadU32BE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}
