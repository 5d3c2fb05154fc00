// Growable UTF-16 string on the private heap, with the program's path
// operations. A missing buffer reads as "". When the heap refuses memory the
// string becomes empty rather than half-filled.
#pragma once

#include <cstddef>
#include <cstdint>

class HeapString {
  public:
    HeapString() = default;
    explicit HeapString(const char16_t* text) { assign(text); }
    ~HeapString();
    HeapString(const HeapString& other);
    HeapString& operator=(const HeapString& other);
    HeapString(HeapString&& other) noexcept;
    HeapString& operator=(HeapString&& other) noexcept;

    // Never null: a string without buffer gives "".
    const char16_t* c_str() const { return buffer_ ? buffer_ : u""; }
    uint32_t length() const { return length_; }
    uint32_t capacity() const { return capacity_; }
    bool empty() const { return length_ == 0; }
    bool hasBuffer() const { return buffer_ != nullptr; }
    char16_t at(uint32_t i) const { return buffer_[i]; }

    bool reserve(uint32_t characters);
    bool assign(const char16_t* text, uint32_t n);
    bool assign(const char16_t* text);
    bool append(const char16_t* text, uint32_t n);
    bool append(const char16_t* text);
    bool appendChar(char16_t c) { return append(&c, 1); }
    // folder + separator (unless it ends with one) + name; nothing when n is 0.
    bool joinPath(const char16_t* folder, uint32_t n, const char16_t* name, uint32_t m);
    // Adds a separator unless empty or already ending with one, then the name.
    bool appendPath(const char16_t* name, uint32_t m);
    bool appendPath(const char16_t* name);
    // Cuts at the last dot after the last separator, then appends ext.
    bool replaceExtension(const char16_t* ext);
    // Shortens to n characters (n <= length).
    void truncate(uint32_t n);
    void clear();
    void release();

  private:
    char16_t* buffer_ = nullptr;
    uint32_t capacity_ = 0;  // bytes
    uint32_t length_ = 0;
};

// Index of the last path separator in text[0..n), or -1.
long lastSeparator(const char16_t* text, uint32_t n);
// Index of the extension's dot (the last dot after the last separator), or -1.
long extensionDot(const char16_t* text, uint32_t n);
// The part before the last separator; the whole path when there is none.
bool folderOf(const char16_t* path, HeapString& out);
// The part after the last separator, without its extension.
bool baseNameOf(const char16_t* path, HeapString& out);
// ASCII case-insensitive equality.
bool sameName(const char16_t* a, const char16_t* b);
// Signed decimal text without leading zeros.
bool appendDecimal(HeapString& out, long long n);
