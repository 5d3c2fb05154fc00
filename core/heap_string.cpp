#include "core/heap_string.h"

#include <cstring>

#include "platform/platform.h"

namespace {
inline bool isSeparator(char16_t c) {
    return c == platform::kPathSeparator;
}
}  // namespace

HeapString::~HeapString() {
    release();
}

HeapString::HeapString(const HeapString& other) {
    assign(other.c_str(), other.length_);
}

HeapString& HeapString::operator=(const HeapString& other) {
    if (this != &other) assign(other.c_str(), other.length_);
    return *this;
}

HeapString::HeapString(HeapString&& other) noexcept
    : buffer_(other.buffer_), capacity_(other.capacity_), length_(other.length_) {
    other.buffer_ = nullptr;
    other.capacity_ = other.length_ = 0;
}

HeapString& HeapString::operator=(HeapString&& other) noexcept {
    if (this != &other) {
        release();
        buffer_ = other.buffer_;
        capacity_ = other.capacity_;
        length_ = other.length_;
        other.buffer_ = nullptr;
        other.capacity_ = other.length_ = 0;
    }
    return *this;
}

void HeapString::release() {
    platform::privateHeap().release(buffer_);
    buffer_ = nullptr;
    capacity_ = length_ = 0;
}

void HeapString::clear() {
    length_ = 0;
    if (buffer_) buffer_[0] = 0;
}

void HeapString::truncate(uint32_t n) {
    if (n >= length_) return;
    length_ = n;
    buffer_[n] = 0;
}

bool HeapString::reserve(uint32_t characters) {
    uint64_t needed = 2ull * characters + 2;
    if (capacity_ >= needed) return true;
    uint64_t bytes = (2ull * characters + 64) & ~uint64_t{63};
    void* grown = bytes > UINT32_MAX ? nullptr : platform::privateHeap().allocate(bytes);
    if (!grown) {
        release();
        return false;
    }
    if (buffer_) std::memcpy(grown, buffer_, (length_ + 1) * sizeof(char16_t));
    platform::privateHeap().release(buffer_);
    buffer_ = static_cast<char16_t*>(grown);
    capacity_ = static_cast<uint32_t>(bytes);
    return true;
}

bool HeapString::assign(const char16_t* text, uint32_t n) {
    length_ = 0;
    if (buffer_) buffer_[0] = 0;
    return append(text, n);
}

bool HeapString::assign(const char16_t* text) {
    return assign(text, static_cast<uint32_t>(platform::textLength(text)));
}

bool HeapString::append(const char16_t* text, uint32_t n) {
    if (uint64_t{length_} + n > UINT32_MAX / 2 - 64) return false;
    // The source may live inside this string's own buffer.
    const bool aliased = buffer_ && text >= buffer_ && text < buffer_ + capacity_ / 2;
    const size_t offset = aliased ? static_cast<size_t>(text - buffer_) : 0;
    if (!reserve(length_ + n)) return false;
    if (aliased) text = buffer_ + offset;
    if (n) std::memmove(buffer_ + length_, text, n * sizeof(char16_t));
    length_ += n;
    buffer_[length_] = 0;
    return true;
}

bool HeapString::append(const char16_t* text) {
    return append(text, static_cast<uint32_t>(platform::textLength(text)));
}

bool HeapString::joinPath(const char16_t* folder, uint32_t n, const char16_t* name, uint32_t m) {
    if (n == 0) return true;
    if (!reserve(n + m + 1)) return false;
    if (!assign(folder, n)) return false;
    if (!isSeparator(folder[n - 1]) && !appendChar(platform::kPathSeparator)) return false;
    return append(name, m);
}

bool HeapString::appendPath(const char16_t* name, uint32_t m) {
    if (m == 0) return true;
    if (length_ > 0 && !isSeparator(buffer_[length_ - 1]) && !appendChar(platform::kPathSeparator))
        return false;
    return append(name, m);
}

bool HeapString::appendPath(const char16_t* name) {
    return appendPath(name, static_cast<uint32_t>(platform::textLength(name)));
}

bool HeapString::replaceExtension(const char16_t* ext) {
    if (!ext || !*ext) return true;
    long dot = extensionDot(c_str(), length_);
    if (dot >= 0) truncate(static_cast<uint32_t>(dot));
    return append(ext);
}

long lastSeparator(const char16_t* text, uint32_t n) {
    for (long i = static_cast<long>(n) - 1; i >= 0; --i)
        if (isSeparator(text[i])) return i;
    return -1;
}

long extensionDot(const char16_t* text, uint32_t n) {
    for (long i = static_cast<long>(n) - 1; i >= 0; --i) {
        if (text[i] == u'.') return i;
        if (isSeparator(text[i])) return -1;
    }
    return -1;
}

bool folderOf(const char16_t* path, HeapString& out) {
    uint32_t n = static_cast<uint32_t>(platform::textLength(path));
    long slash = lastSeparator(path, n);
    return out.assign(path, slash < 0 ? n : static_cast<uint32_t>(slash));
}

bool baseNameOf(const char16_t* path, HeapString& out) {
    uint32_t n = static_cast<uint32_t>(platform::textLength(path));
    long slash = lastSeparator(path, n);
    const char16_t* name = path + (slash + 1);
    uint32_t m = n - static_cast<uint32_t>(slash + 1);
    long dot = extensionDot(name, m);
    return out.assign(name, dot < 0 ? m : static_cast<uint32_t>(dot));
}

bool sameName(const char16_t* a, const char16_t* b) {
    auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - 32 : c; };
    if (!a) a = u"";
    if (!b) b = u"";
    for (;; ++a, ++b) {
        if (fold(*a) != fold(*b)) return false;
        if (!*a) return true;
    }
}

bool appendDecimal(HeapString& out, long long n) {
    char16_t digits[24];
    int count = 0;
    unsigned long long magnitude =
        n < 0 ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    do {
        digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (n < 0) digits[count++] = u'-';
    char16_t text[24];
    for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    return out.append(text, static_cast<uint32_t>(count));
}
