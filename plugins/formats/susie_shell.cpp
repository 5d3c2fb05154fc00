// The Susie import-filter exports, shared by the first-party plug-ins. The
// picture comes from a file (read whole through a read-only mapping, from the
// data offset on) or from the caller's memory, and goes back as a packed
// bottom-up 24-bit DIB in two blocks from the local allocator.
#include "plugins/formats/susie_shell.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

// Result codes of the plug-in interface.
constexpr int kSusieOk = 0;
constexpr int kSusieCancelled = 1;
constexpr int kSusieUnknownFormat = 2;
constexpr int kSusieDamaged = 3;
constexpr int kSusieNoMemory = 4;
constexpr int kSusieReadError = 6;
constexpr int kSusieInternalError = 8;

constexpr size_t kHeadBytes = 2048;

int resultOf(formats::DecodeStatus status) {
    switch (status) {
        case formats::DecodeStatus::ok:
            return kSusieOk;
        case formats::DecodeStatus::notRecognised:
        case formats::DecodeStatus::unsupported:
            return kSusieUnknownFormat;
        case formats::DecodeStatus::damaged:
            return kSusieDamaged;
        case formats::DecodeStatus::tooLarge:
        case formats::DecodeStatus::outOfMemory:
            return kSusieNoMemory;
    }
    return kSusieInternalError;
}

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};

// The picture's bytes: the file from the data offset on, read whole into
// memory of our own (a view of the file would fault if another program cut it
// while it is decoded), or the caller's memory (flag bit 0 set: `path` is the
// buffer, `offset` its size).
class Source {
  public:
    Source(LPCSTR path, LONG_PTR offset, unsigned int flag) {
        if ((flag & 7) == 1) {
            if (path && offset > 0) {
                data_ = reinterpret_cast<const uint8_t*>(path);
                size_ = static_cast<size_t>(offset);
            }
            return;
        }
        Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER bytes;
        if (!file.valid() || !GetFileSizeEx(file.get(), &bytes) || offset < 0 ||
            bytes.QuadPart <= offset || bytes.QuadPart >> 32 != 0)
            return;
        const DWORD wanted = static_cast<DWORD>(bytes.QuadPart - offset);
        LARGE_INTEGER start;
        start.QuadPart = offset;
        copy_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, wanted, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!copy_ || !SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return;
        DWORD done = 0;
        while (done < wanted) {
            DWORD got = 0;
            if (!ReadFile(file.get(), copy_ + done, wanted - done, &got, nullptr) || got == 0)
                return;  // a read error, or the file was cut meanwhile
            done += got;
        }
        data_ = copy_;
        size_ = wanted;
    }
    ~Source() {
        if (copy_) VirtualFree(copy_, 0, MEM_RELEASE);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool valid() const { return data_ != nullptr; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    uint8_t* copy_ = nullptr;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// The pixel block, fixed, so its handle is its address.
class LocalBitsSink final : public formats::PictureSink {
  public:
    ~LocalBitsSink() override {
        if (bits_) LocalFree(bits_);
    }
    uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) override {
        width_ = width;
        height_ = height;
        bytes_ = uint64_t{stride} * height;
        bits_ = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes_));
        return static_cast<uint8_t*>(bits_);
    }
    HLOCAL release() {
        HLOCAL bits = bits_;
        bits_ = nullptr;
        return bits;
    }
    uint32_t width_ = 0, height_ = 0;
    uint64_t bytes_ = 0;

  private:
    HLOCAL bits_ = nullptr;
};

HLOCAL newInfoBlock(const LocalBitsSink& sink) {
    HLOCAL info = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER));
    if (!info) return nullptr;
    auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(info));
    if (!header) {
        LocalFree(info);
        return nullptr;
    }
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = static_cast<LONG>(sink.width_);
    header->biHeight = static_cast<LONG>(sink.height_);
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = static_cast<DWORD>(sink.bytes_);
    LocalUnlock(info);
    return info;
}

// Longest text a plug-in hands over, in characters.
constexpr int kTextCapacity = 1024;

bool japaneseUserInterface() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

// The texts in the user's language.
const SusieTexts& texts() {
    return japaneseUserInterface() ? kSusieFormat.japanese : kSusieFormat.english;
}

bool widen(const char* utf8, wchar_t (&wide)[kTextCapacity]) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, kTextCapacity) > 0;
}

// Stores the text in the ANSI code page, which is all a host reads, cut at
// a character boundary to fit `size` bytes with the terminator. False when
// the code page cannot spell it.
bool storeAnsi(const char* utf8, LPSTR buffer, int size, int& stored) {
    wchar_t wide[kTextCapacity];
    char ansi[2 * kTextCapacity];
    if (!widen(utf8, wide)) return false;
    BOOL lossy = FALSE;
    const UINT codePage = GetACP();
    const bool exact = codePage == CP_UTF8;
    const int length = WideCharToMultiByte(CP_ACP, exact ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, ansi,
                                           sizeof ansi, nullptr, exact ? nullptr : &lossy);
    if (length <= 0 || lossy) return false;
    int n = 0;
    while (ansi[n] != 0) {
        const char* next = CharNextExA(static_cast<WORD>(codePage), ansi + n, 0);
        const int step = next > ansi + n ? static_cast<int>(next - (ansi + n)) : 1;
        if (n + step > size - 1) break;
        n += step;
    }
    std::memcpy(buffer, ansi, static_cast<size_t>(n));
    buffer[n] = 0;
    stored = n;
    return true;
}

// A text of the user's language, or the English one where the code page
// cannot spell it.
int storeText(const char* text, const char* english, LPSTR buffer, int size) {
    if (!buffer || size <= 0) return 0;
    int stored = 0;
    if (storeAnsi(text, buffer, size, stored) || storeAnsi(english, buffer, size, stored))
        return stored;
    buffer[0] = 0;
    return 0;
}

int storeText(const char* ascii, LPSTR buffer, int size) {
    return storeText(ascii, ascii, buffer, size);
}

using ProgressCallback = int(WINAPI*)(int, int, LONG_PTR);

int getPicture(LPCSTR path, LONG_PTR offset, unsigned int flag, HLOCAL* infoOut, HLOCAL* bitsOut,
               ProgressCallback progress, LONG_PTR data) {
    if (!infoOut || !bitsOut) return kSusieInternalError;
    *infoOut = nullptr;
    *bitsOut = nullptr;
    if (progress && progress(0, 1, data) != 0) return kSusieCancelled;
    Source source(path, offset, flag);
    if (!source.valid()) return kSusieReadError;
    LocalBitsSink sink;
    const int result = resultOf(kSusieFormat.decode(source.data(), source.size(), sink));
    if (result != kSusieOk) return result;
    if (progress && progress(1, 1, data) != 0) return kSusieCancelled;
    HLOCAL info = newInfoBlock(sink);
    if (!info) return kSusieNoMemory;
    *infoOut = info;
    *bitsOut = sink.release();
    return kSusieOk;
}

// The picture libraries keep their internal checks (assert). On Windows a
// failed one ends the whole process through abort(), taking the host and its
// batch with it. Here the check raises an exception instead, which a host
// that guards its calls (as ours does) turns into one failed file. The
// libraries call the runtime's assert through its import pointer, which this
// definition takes the place of.
[[noreturn]] void __cdecl failedCheck(const char*, const char*, unsigned) {
    RaiseException(kSusieFailedCheck, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    for (;;) TerminateProcess(GetCurrentProcess(), 3);  // a host that went on
}
[[noreturn]] void __cdecl failedCheckWide(const wchar_t*, const wchar_t*, unsigned) {
    failedCheck(nullptr, nullptr, 0);
}

}  // namespace

extern "C" {
void(__cdecl* __imp__assert)(const char*, const char*, unsigned) = failedCheck;
void(__cdecl* __imp__wassert)(const wchar_t*, const wchar_t*, unsigned) = failedCheckWide;
}

// No exception leaves the DLL: the C++ libraries behind a decoder may throw
// (std::bad_alloc), which becomes the interface's memory error.
extern "C" {

__declspec(dllexport) int WINAPI GetPluginInfo(int index, LPSTR buffer, int size) {
    if (index == 0) return storeText("00IN", buffer, size);
    if (index == 1)
        return storeText(texts().description, kSusieFormat.english.description, buffer, size);
    const int k = (index - 2) / 2;
    if (index < 0 || k >= kSusieFormat.patternCount) return 0;
    if (index % 2 == 0) return storeText(kSusieFormat.patterns[k], buffer, size);
    return storeText(texts().names[k], kSusieFormat.english.names[k], buffer, size);
}

// `head` is normally the file's first 2 KiB; a value below 64 Ki is a file
// handle from an old host, read here instead.
__declspec(dllexport) int WINAPI IsSupported(LPCSTR path, void* head) {
    if (!head) return 0;
    if (reinterpret_cast<uintptr_t>(head) < 0x10000) {
        uint8_t bytes[kHeadBytes] = {};
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(head), bytes, sizeof bytes, &got, nullptr)) return 0;
        return kSusieFormat.looksLike(bytes, got) ? 1 : 0;
    }
    return kSusieFormat.looksLike(static_cast<const uint8_t*>(head), kHeadBytes) ? 1 : 0;
}

__declspec(dllexport) int WINAPI
    GetPictureInfo(LPCSTR path, LONG_PTR offset, unsigned int flag, void* infoOut) {
    struct PictureInfo {
        LONG left, top, width, height;
        WORD xDensity, yDensity;
        short colorDepth;
        HLOCAL text;
    };
    static_assert(sizeof(PictureInfo) == 32);
    if (!infoOut) return kSusieInternalError;
    try {
        Source source(path, offset, flag);
        if (!source.valid()) return kSusieReadError;
        formats::PictureSize size;
        const int result = resultOf(kSusieFormat.readSize(source.data(), source.size(), size));
        if (result != kSusieOk) return result;
        PictureInfo info{};
        info.width = static_cast<LONG>(size.width);
        info.height = static_cast<LONG>(size.height);
        info.colorDepth = 24;
        std::memcpy(infoOut, &info, sizeof info);
        return kSusieOk;
    } catch (const std::bad_alloc&) {
        return kSusieNoMemory;
    } catch (...) {
        return kSusieInternalError;
    }
}

__declspec(dllexport) int WINAPI
    GetPicture(LPCSTR path, LONG_PTR offset, unsigned int flag, HLOCAL* infoOut, HLOCAL* bitsOut,
               ProgressCallback progress, LONG_PTR data) {
    try {
        return getPicture(path, offset, flag, infoOut, bitsOut, progress, data);
    } catch (const std::bad_alloc&) {
        return kSusieNoMemory;
    } catch (...) {
        return kSusieInternalError;
    }
}

// Previews are not offered.
__declspec(dllexport) int WINAPI
    GetPreview(LPCSTR, LONG_PTR, unsigned int, HLOCAL*, HLOCAL*, ProgressCallback, LONG_PTR) {
    return -1;
}

// There is nothing to set: both the About request (0) and the settings
// request (1) show the About box.
__declspec(dllexport) int WINAPI ConfigurationDlg(HWND parent, int function) {
    wchar_t about[kTextCapacity];
    wchar_t title[kTextCapacity];
    if (!widen(texts().about, about) || !widen(texts().description, title)) return -1;
    MessageBoxW(parent, about, title, MB_OK | MB_ICONINFORMATION);
    return 0;
}

}  // extern "C"
