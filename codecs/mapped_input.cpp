#include "codecs/mapped_input.h"

uint32_t MappedInput::open(const char16_t* path, bool copyOnWrite) {
    close();
    status = file_.load(path);
    if (status != kStatusOk) return 0;
    lastWriteTime = file_.lastWriteTime();
    base = cursor = file_.data();
    end = base + file_.size();
    writableView = copyOnWrite ? file_.writableData() : nullptr;
    return static_cast<uint32_t>(file_.size());
}

uint32_t MappedInput::openReadOnly(const char16_t* path) {
    return open(path, false);
}
uint32_t MappedInput::openCopyOnWrite(const char16_t* path) {
    return open(path, true);
}

uint32_t MappedInput::openMemory(const uint8_t* data, size_t size) {
    close();
    status = kStatusOk;
    if (!data || size == 0 || uint64_t{size} >> 32 != 0) {
        status = kStatusInputError;
        return 0;
    }
    lastWriteTime = 0;
    base = cursor = data;
    end = data + size;
    return static_cast<uint32_t>(size);
}

uint32_t MappedInput::openCopy(SourceBytes& bytes) {
    const uint32_t size = openMemory(bytes.data(), bytes.size());
    if (size == 0) return 0;
    lastWriteTime = bytes.lastWriteTime();
    writableView = bytes.writableData();
    discardable_ = true;
    return size;
}

void MappedInput::close() {
    file_.reset();
    discardable_ = false;
    base = cursor = end = nullptr;
    writableView = nullptr;
}

bool beginRead(MappedInput& input, const ReadSource& source, ImageRecord& record) {
    input.status = kStatusOk;
    resetRecord(record);
    const uint32_t size = source.copy   ? input.openCopy(*source.copy)
                          : source.path ? input.openReadOnly(source.path)
                                        : input.openMemory(source.data, source.size);
    if (size == 0) return false;
    record.sourceFileSize = size;
    record.sourceModified = input.lastWriteTime;
    return true;
}

ImageRecord* attachRecord(MappedInput& input, ImageRecord* given) {
    if (given) return given;
    auto* record = static_cast<ImageRecord*>(platform::privateHeap().allocate(sizeof(ImageRecord)));
    if (!record) input.status = kStatusNoMemory;
    return record;
}

ImageRecord* finishRead(bool ok, ImageRecord* target, const ImageRecord* given) {
    if (ok) return target;
    releasePixelBuffer(target->pixels);
    target->pixels = nullptr;
    if (target != given) platform::privateHeap().release(target);
    return nullptr;
}

uint16_t readU16LE(const uint8_t*& c) {
    uint16_t v = loadU16LE(c);
    c += 2;
    return v;
}
uint16_t readU16BE(const uint8_t*& c) {
    uint16_t v = loadU16BE(c);
    c += 2;
    return v;
}
uint32_t readU32LE(const uint8_t*& c) {
    uint32_t v = loadU32LE(c);
    c += 4;
    return v;
}
uint32_t readU32BE(const uint8_t*& c) {
    uint32_t v = loadU32BE(c);
    c += 4;
    return v;
}
