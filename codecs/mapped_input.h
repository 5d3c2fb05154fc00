// The whole source file read into private memory (or bytes the caller
// already holds) and parsed with plain pointers between base and end. Every
// native reader reads through one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codecs/codec_status.h"
#include "codecs/source_bytes.h"
#include "core/byte_order.h"
#include "core/image_record.h"
#include "platform/platform.h"

class MappedInput {
  public:
    MappedInput() = default;
    MappedInput(const MappedInput&) = delete;
    MappedInput& operator=(const MappedInput&) = delete;

    // Reads the whole file. Returns the file size, or 0 when it cannot be
    // opened or read, is empty, or is 4 GiB or more (status 50004), when
    // memory runs out (50001), or when it changed while it was read (50008).
    uint32_t openReadOnly(const char16_t* path);
    // The same, with the bytes writable through writableView: they are a
    // private copy, so changes never reach the file.
    uint32_t openCopyOnWrite(const char16_t* path);
    // Reads the caller's bytes in place instead of a file; they must stay
    // valid and unchanged until close(). Returns the size, or 0 (status
    // 50004) when there are none or 4 GiB or more.
    uint32_t openMemory(const uint8_t* data, size_t size);
    // Reads a whole file that the caller has already read (the batch driver
    // reads each source once), with its size and time. The bytes must stay
    // valid until close(); pages the reader has consumed may be given back.
    uint32_t openCopy(SourceBytes& bytes);
    // Gives back the bytes read from a file.
    void close();

    const uint8_t* base = nullptr;
    const uint8_t* cursor = nullptr;
    const uint8_t* end = nullptr;     // nothing at or after it may be read
    uint8_t* writableView = nullptr;  // set only by openCopyOnWrite
    uint64_t lastWriteTime = 0;
    uint32_t status = kStatusOk;

    uint32_t size() const { return static_cast<uint32_t>(end - base); }
    // True when the bytes were read from a file into this input's own
    // memory: only then may a reader give back the pages it has consumed (a
    // caller's memory is not ours to discard).
    bool ownsBytes() const { return file_.size() != 0 || discardable_; }
    // True when `bytes` bytes from file offset `offset` on lie inside the file.
    bool holds(uint64_t offset, uint64_t bytes) const {
        return offset <= size() && bytes <= size() - offset;
    }
    // Records why the read failed and gives false: `return input_.fail(code);`.
    bool fail(uint32_t code) {
        status = code;
        return false;
    }
    // Bytes left from `at` to the end (0 when `at` lies outside the file).
    uint64_t remaining(const uint8_t* at) const {
        return at >= base && at < end ? static_cast<uint64_t>(end - at) : 0;
    }

  private:
    uint32_t open(const char16_t* path, bool copyOnWrite);
    SourceBytes file_;
    bool discardable_ = false;
};

// Where a reader's bytes come from: a file, read whole; bytes in memory
// (which must stay valid and unchanged while the reader runs); or a file the
// caller has read whole already.
struct ReadSource {
    const char16_t* path = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
    SourceBytes* copy = nullptr;

    static ReadSource file(const char16_t* path) { return {path, nullptr, 0, nullptr}; }
    static ReadSource memory(const uint8_t* data, size_t size) {
        return {nullptr, data, size, nullptr};
    }
    static ReadSource fileCopy(SourceBytes& bytes) { return {nullptr, nullptr, 0, &bytes}; }
};

// The common entry of every reader: clears the record's palette and pixel
// pointer, reads the file (or takes the bytes) and records size and time (0
// for bytes in memory). Returns false (with the input's status set) when the
// source cannot be used.
bool beginRead(MappedInput& input, const ReadSource& source, ImageRecord& record);

// Attaches the record to fill: the given one, or one allocated zero-filled
// from the private heap (status 50001 and null when that fails).
ImageRecord* attachRecord(MappedInput& input, ImageRecord* given);
// The common exit: on failure releases the pixel buffer and a record that
// attachRecord allocated, and gives null.
ImageRecord* finishRead(bool ok, ImageRecord* target, const ImageRecord* given);

// Runs a reader's own decoding between the common entry and exit steps:
// attach the record, read the file (or take the bytes), decode, let go.
template <class Decode>
ImageRecord* readMapped(MappedInput& input, const ReadSource& source, ImageRecord* given,
                        Decode&& decode) {
    ImageRecord* target = attachRecord(input, given);
    if (!target) return nullptr;
    const bool ok = beginRead(input, source, *target) && decode(*target);
    input.close();
    return finishRead(ok, target, given);
}

// The entries every reader offers, all over the reader's private
// readFrom(const ReadSource&, ImageRecord*): a path, read whole; a whole
// file's bytes already in memory (read in place and left unchanged; the
// record's modification time is then 0); or a file the caller has read whole
// (the one the batch driver uses).
template <class Reader>
class ReaderEntries {
  public:
    ImageRecord* read(const char16_t* path, ImageRecord* record) {
        return static_cast<Reader*>(this)->readFrom(ReadSource::file(path), record);
    }
    ImageRecord* readMemory(const uint8_t* data, size_t size, ImageRecord* record) {
        return static_cast<Reader*>(this)->readFrom(ReadSource::memory(data, size), record);
    }
    ImageRecord* readCopy(SourceBytes& bytes, ImageRecord* record) {
        return static_cast<Reader*>(this)->readFrom(ReadSource::fileCopy(bytes), record);
    }
};

// Cursor readers: read at the cursor and advance it. They do not test the
// end; callers test it first.
uint16_t readU16LE(const uint8_t*& cursor);
uint16_t readU16BE(const uint8_t*& cursor);
uint32_t readU32LE(const uint8_t*& cursor);
uint32_t readU32BE(const uint8_t*& cursor);
using U16Reader = uint16_t (*)(const uint8_t*&);
using U32Reader = uint32_t (*)(const uint8_t*&);
