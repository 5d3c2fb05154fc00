// Susie import filters for the host's tests (never shipped). One source, built
// once per kind (TEST_PLUGIN_KIND): they decode "MRAW" files (mraw_format.h)
// or misbehave in one particular way.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "mraw_format.h"

#ifndef TEST_PATTERN_LENGTH
#define TEST_PATTERN_LENGTH 10
#endif
#ifndef TEST_NAME_LENGTH
#define TEST_NAME_LENGTH 10
#endif

#define KIND_GOOD 1            // decodes MRAW; TEST_PLUGIN_STAMP marks its results
#define KIND_DECLINE 2         // accepts nothing
#define KIND_ARCHIVE 3         // version "00AM", would accept and decode MRAW
#define KIND_FAULT_PROBE 4     // IsSupported faults as the file's header asks
#define KIND_FAULT_PICTURE 5   // GetPicture faults as the file's header asks
#define KIND_FAULT_INFO 6      // GetPluginInfo always faults
#define KIND_TOP_DOWN 7        // returns a negative height
#define KIND_SHORT_BITS 8      // bits block one row short
#define KIND_PATTERNS 9        // many long patterns (TEST_PATTERN_LENGTH, TEST_NAME_LENGTH)
#define KIND_OFFSET_128 10     // MRAW after a 128-byte header: picture calls need offset 128
#define KIND_DLLMAIN_FAULT 11  // DllMain faults when the library is loaded

#ifndef TEST_PLUGIN_STAMP
#define TEST_PLUGIN_STAMP 0
#endif

namespace {

constexpr int kKind = TEST_PLUGIN_KIND;

// Recurses until the stack runs out; the frame cannot be optimised away.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int recurseWithoutEnd(int depth) {
    volatile char frame[256];
    frame[depth & 255] = static_cast<char>(depth);
    return recurseWithoutEnd(depth + 1) + frame[(depth * 7) & 255];
}
#pragma GCC diagnostic pop

void fault(uint8_t how) {
    switch (how) {
        case kAccessViolation: {
            volatile uintptr_t address = 0x10;
            *reinterpret_cast<volatile int*>(address) = 1;
            break;
        }
        case kDivideByZero: {
            volatile int zero = 0;
            volatile int result = 100 / zero;
            (void)result;
            break;
        }
        case kRaisedException:
            RaiseException(kTestExceptionCode, 0, 0, nullptr);
            break;
        case kCaughtThrow:
            try {
                throw std::runtime_error("handled inside the plug-in");
            } catch (const std::exception&) {
            }
            break;
        case kEscapingThrow:
            throw std::runtime_error("leaves the plug-in");
        case kStackOverflow:
            recurseWithoutEnd(0);
            break;
    }
}

bool readAt(const char* path, LONG_PTR offset, void* buffer, DWORD bytes, DWORD& got) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER position;
    position.QuadPart = offset;
    bool ok = SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
              ReadFile(file, buffer, bytes, &got, nullptr);
    CloseHandle(file);
    return ok;
}

bool readHeader(const char* path, LONG_PTR offset, MrawHeader& header) {
    DWORD got = 0;
    return readAt(path, offset, &header, sizeof header, got) && got == sizeof header &&
           isMraw(header.magic);
}

// Pattern k and format name k of the describing test.
std::string patternText(int k) {
    return std::string("*.") + char('a' + k) + std::string(TEST_PATTERN_LENGTH - 3, 'p');
}
std::string nameText(int k) {
    return char('A' + k) + std::string(TEST_NAME_LENGTH - 1, 'n');
}

int store(const std::string& text, LPSTR buffer, int size) {
    if (size <= 0) return 0;
    const int n =
        static_cast<int>(text.size()) < size - 1 ? static_cast<int>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return n;
}

std::string ownPath() {
    HMODULE self = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ownPath), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    return path;
}

}  // namespace

extern "C" {

#if TEST_PLUGIN_KIND == KIND_DLLMAIN_FAULT
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) fault(kAccessViolation);
    return TRUE;
}
#endif

__declspec(dllexport) int WINAPI GetPluginInfo(int index, LPSTR buffer, int size) {
    if (kKind == KIND_FAULT_INFO) fault(kAccessViolation);
    if (index == 0) return store(kKind == KIND_ARCHIVE ? "00AM" : "00IN", buffer, size);
    if (index == 1) return store("Moravel test plug-in", buffer, size);
    const int k = (index - 2) / 2;
    if (kKind == KIND_PATTERNS) {
        if (k >= 20) return 0;
        return store(index % 2 == 0 ? patternText(k) : nameText(k), buffer, size);
    }
    if (k > 0) return 0;
    return store(index == 2 ? "*.mraw" : "Made-up raw pictures", buffer, size);
}

__declspec(dllexport) int WINAPI IsSupported(LPCSTR path, void* head) {
    const uint8_t* bytes = static_cast<const uint8_t*>(head);
    // Raises a debugger notice, which a host must let pass.
    OutputDebugStringA("test plug-in: IsSupported");
    if (kKind == KIND_DECLINE || !isMraw(bytes)) return 0;
    MrawHeader header;
    std::memcpy(&header, bytes, sizeof header);
    if (kKind == KIND_FAULT_PROBE) {
        fault(header.fault);
        return 0;
    }
    return 1;
}

__declspec(dllexport) int WINAPI
    GetPictureInfo(LPCSTR path, LONG_PTR offset, unsigned int flag, void* infoOut) {
    MrawHeader header;
    if (flag != 0 || !readHeader(path, offset, header)) return 2;
    if (kKind == KIND_OFFSET_128 && offset != 128) return 2;
    if (kKind == KIND_FAULT_PICTURE) fault(header.fault >> 4);
    struct Info {
        int32_t left, top, width, height;
        uint16_t xDensity, yDensity;
        int16_t colorDepth;
        HGLOBAL text;
    } info{};
    info.width = static_cast<int32_t>(header.width);
    info.height = static_cast<int32_t>(header.height);
    info.colorDepth = static_cast<int16_t>(header.reportedDepth);
    info.text = GlobalAlloc(GMEM_FIXED, 16);
    if (info.text) std::strcpy(static_cast<char*>(info.text), "test comment");
    std::memcpy(infoOut, &info, sizeof info);
    return 0;
}

__declspec(dllexport) int WINAPI
    GetPicture(LPCSTR path, LONG_PTR offset, unsigned int flag, HLOCAL* infoOut, HLOCAL* bitsOut,
               int(WINAPI* progress)(int, int, LONG_PTR), LONG_PTR data) {
    MrawHeader header;
    if (flag != 0 || !readHeader(path, offset, header)) return 2;
    if (kKind == KIND_OFFSET_128 && offset != 128) return 2;
    if (kKind == KIND_FAULT_PICTURE) fault(header.fault & 15);
    if (header.fault == kChangesSource) {
        HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) WriteFile(file, "!", 1, &written, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    if (progress && progress(0, 1, data) != 0) return 1;

    const uint64_t stride = mrawStride(header.width, header.bitCount);
    const uint64_t bitsSize = stride * header.height;
    const size_t tableSize = header.paletteCount * 4u;
    const uint32_t headerSize = infoHeaderSize(header.infoHeader);
    if (bitsSize > 0x10000000 || header.paletteCount > 256) return 4;
    if (header.missingBytes >= bitsSize) return 2;

    // Info block movable (to be locked), bits block fixed: hosts must handle both.
    HLOCAL info = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, headerSize + tableSize);
    const uint64_t handedOver =
        (kKind == KIND_SHORT_BITS ? bitsSize - stride : bitsSize) - header.missingBytes;
    HLOCAL bits = LocalAlloc(LMEM_FIXED, handedOver ? handedOver : 1);
    if (!info || !bits) return 4;

    uint8_t* infoBytes = static_cast<uint8_t*>(LocalLock(info));
    BITMAPINFOHEADER* bih = reinterpret_cast<BITMAPINFOHEADER*>(infoBytes);
    bih->biSize = headerSize;
    bih->biWidth = static_cast<LONG>(header.width);
    bih->biHeight = static_cast<LONG>(header.height);
    if (kKind == KIND_TOP_DOWN) bih->biHeight = -bih->biHeight;
    bih->biPlanes = 1;
    bih->biBitCount = header.bitCount;
    bih->biXPelsPerMeter = TEST_PLUGIN_STAMP ? TEST_PLUGIN_STAMP : header.xPelsPerMeter;
    bih->biYPelsPerMeter = header.yPelsPerMeter;
    bih->biClrUsed = header.statedColours ? header.statedColours : header.paletteCount;
    bih->biSizeImage = static_cast<DWORD>(bitsSize);
    if (headerSize >= 108) {
        auto* v4 = reinterpret_cast<BITMAPV4HEADER*>(infoBytes);
        v4->bV4CSType = 0x73524742;  // 'sRGB'
    }
    DWORD got = 0;
    bool ok = readAt(path, offset + sizeof header, infoBytes + headerSize,
                     static_cast<DWORD>(tableSize), got) &&
              got == tableSize;
    LocalUnlock(info);
    ok = ok &&
         readAt(path, offset + sizeof header + tableSize, bits, static_cast<DWORD>(handedOver),
                got) &&
         got == handedOver;
    if (!ok) {
        LocalFree(info);
        LocalFree(bits);
        return 2;
    }
    *infoOut = info;
    *bitsOut = bits;
    return 0;
}

// Leaves "<plug-in path>.configured" holding the parent window and the
// function code, so a test can see the call arrive; the faulting kinds fault.
__declspec(dllexport) int WINAPI ConfigurationDlg(HWND parent, int function) {
    if (kKind >= KIND_FAULT_PROBE && kKind <= KIND_FAULT_INFO) fault(kAccessViolation);
    const std::string path = ownPath() + ".configured";
    if (FILE* out = std::fopen(path.c_str(), "w")) {
        std::fprintf(out, "%llu %d",
                     static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(parent)),
                     function);
        std::fclose(out);
    }
    return 0;
}

}  // extern "C"
