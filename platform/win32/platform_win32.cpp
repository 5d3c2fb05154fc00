// Win32 implementation of the platform layer (the Windows program).
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {
const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* wide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
HANDLE toHandle(NativeHandle h) {
    return reinterpret_cast<HANDLE>(h);
}
NativeHandle fromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE || h == nullptr ? kNoHandle
                                                     : reinterpret_cast<NativeHandle>(h);
}
}  // namespace

// ---- Private heap.
PrivateHeap::PrivateHeap() : impl_(HeapCreate(0, 0x10000, 0)) {}

PrivateHeap::~PrivateHeap() {
    if (impl_) HeapDestroy(static_cast<HANDLE>(impl_));
}

void* PrivateHeap::allocate(size_t bytes) {
    // The heap is created serialized: HeapAlloc and HeapFree take its lock.
    if (!impl_ || !allowedByTestHook()) return nullptr;
    void* block = HeapAlloc(static_cast<HANDLE>(impl_), HEAP_ZERO_MEMORY, bytes ? bytes : 1);
    if (block) ++liveBlocks_;
    return block;
}

void PrivateHeap::release(void* block) {
    if (!block || !impl_) return;
    HeapFree(static_cast<HANDLE>(impl_), 0, block);
    --liveBlocks_;
}

PrivateHeap& privateHeap() {
    static PrivateHeap heap;
    return heap;
}

// ---- Pages: pages_win32.cpp.

// ---- Files.
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

bool File::openForReading(const char16_t* path) {
    close();
    handle_ = fromHandle(CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Only files on a disk: a pipe or a device is refused.
    if (isOpen() && GetFileType(toHandle(handle_)) != FILE_TYPE_DISK) close();
    return isOpen();
}

// Files the program writes are shared for deletion, so that an interrupted
// batch can remove them while they are still open.
bool File::createNew(const char16_t* path) {
    close();
    handle_ = fromHandle(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return isOpen();
}

bool File::create(const char16_t* path) {
    close();
    handle_ = fromHandle(CreateFileW(wide(path), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return isOpen();
}

size_t File::read(void* buffer, size_t bytes) {
    size_t done = 0;
    while (isOpen() && done < bytes) {
        DWORD chunk = bytes - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes - done);
        DWORD n = 0;
        if (!ReadFile(toHandle(handle_), static_cast<uint8_t*>(buffer) + done, chunk, &n,
                      nullptr) ||
            n == 0)
            break;
        done += n;
    }
    return done;
}

bool File::readSome(void* buffer, size_t capacity, size_t& got) {
    got = 0;
    if (!isOpen()) return false;
    DWORD n = 0;
    const DWORD chunk = capacity > 0x40000000 ? 0x40000000 : static_cast<DWORD>(capacity);
    if (!ReadFile(toHandle(handle_), buffer, chunk, &n, nullptr)) return false;
    got = n;
    return true;
}

bool File::write(const void* data, size_t bytes) {
    size_t done = 0;
    while (done < bytes) {
        if (!isOpen()) return false;
        DWORD chunk = bytes - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes - done);
        DWORD n = 0;
        if (!WriteFile(toHandle(handle_), static_cast<const uint8_t*>(data) + done, chunk, &n,
                       nullptr) ||
            n == 0)
            return false;
        done += n;
    }
    return true;
}

bool File::size(uint64_t& bytes) const {
    LARGE_INTEGER value;
    if (!isOpen() || !GetFileSizeEx(toHandle(handle_), &value)) return false;
    bytes = static_cast<uint64_t>(value.QuadPart);
    return true;
}

uint64_t File::lastWriteTime() const {
    FILETIME written{};
    if (!isOpen() || !GetFileTime(toHandle(handle_), nullptr, nullptr, &written)) return 0;
    return (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

void File::close() {
    if (isOpen()) CloseHandle(toHandle(handle_));
    handle_ = kNoHandle;
}

bool File::closeChecked() {
    if (!isOpen()) return false;
    const HANDLE handle = toHandle(handle_);
    handle_ = kNoHandle;
    return CloseHandle(handle) != 0;
}

void releaseConsumedPages(const uint8_t* from, size_t bytes) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uintptr_t page = system.dwPageSize;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(from) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(from) + bytes) & ~(page - 1);
    if (!from || end <= start) return;
    // The pages stay committed and readable; the system may drop them
    // without writing them to the paging file.
    VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESET, PAGE_READWRITE);
}

// ---- Paths and folders.
bool pathExists(const char16_t* path) {
    return path && *path && PathFileExistsW(wide(path));
}
bool isDirectory(const char16_t* path) {
    return path && *path && PathIsDirectoryW(wide(path));
}
bool createDirectory(const char16_t* path) {
    return path && *path && CreateDirectoryW(wide(path), nullptr);
}
bool removeDirectory(const char16_t* path) {
    return path && *path && RemoveDirectoryW(wide(path));
}
bool deleteFile(const char16_t* path) {
    return path && *path && DeleteFileW(wide(path));
}
bool copyFile(const char16_t* from, const char16_t* to, bool overwrite) {
    return CopyFileW(wide(from), wide(to), overwrite ? FALSE : TRUE) != 0;
}

size_t tempFolder(char16_t* buffer, size_t capacity) {
    if (capacity > MAX_PATH + 1) capacity = MAX_PATH + 1;
    DWORD n = GetTempPathW(static_cast<DWORD>(capacity), wide(buffer));
    if (n != 0 && n < capacity) return n;
    // TMP or TEMP too long for a path: the system's own temporary folder.
    n = GetWindowsDirectoryW(wide(buffer), static_cast<DWORD>(capacity));
    static constexpr char16_t kTemp[] = u"\\Temp\\";
    if (n == 0 || n + 6 + 1 > capacity) return 0;
    if (buffer[n - 1] == u'\\') --n;
    std::memcpy(buffer + n, kTemp, sizeof kTemp);
    return isDirectory(buffer) ? n + 6 : 0;
}

bool createUniqueTempFile(const char16_t* folder, const char16_t* prefix, char16_t* buffer,
                          size_t capacity) {
    if (capacity < MAX_PATH) return false;
    return GetTempFileNameW(wide(folder), wide(prefix), 0, wide(buffer)) != 0;
}

void notifyChange(ChangeKind kind, const char16_t* path) {
    LONG event = kind == ChangeKind::FolderCreated   ? SHCNE_MKDIR
                 : kind == ChangeKind::FolderRemoved ? SHCNE_RMDIR
                                                     : SHCNE_UPDATEDIR;
    SHChangeNotify(event, SHCNF_PATHW | SHCNF_FLUSH | SHCNF_FLUSHNOWAIT, path, nullptr);
}

// ---- Updating a file in place or by replacement; program and user folders.
bool File::openForUpdate(const char16_t* path) {
    close();
    handle_ = fromHandle(CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return isOpen();
}

bool File::seek(uint64_t offset) {
    if (!isOpen() || offset > static_cast<uint64_t>(INT64_MAX)) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(toHandle(handle_), distance, nullptr, FILE_BEGIN) != 0;
}

bool File::setEndOfFile() {
    return isOpen() && SetEndOfFile(toHandle(handle_)) != 0;
}

bool File::flush() {
    return isOpen() && FlushFileBuffers(toHandle(handle_)) != 0;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
    return from && *from && to && *to &&
           MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               0;
}

size_t programPath(char16_t* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    if (capacity > 0x7FFFFFFF) capacity = 0x7FFFFFFF;
    const DWORD n = GetModuleFileNameW(nullptr, wide(buffer), static_cast<DWORD>(capacity));
    if (n == 0 || n >= capacity) return 0;  // failed or cut short
    return n;
}

size_t appDataFolder(char16_t* buffer, size_t capacity) {
    wchar_t folder[MAX_PATH + 1] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return 0;
    size_t n = 0;
    while (n < MAX_PATH && folder[n]) ++n;
    while (n > 3 && folder[n - 1] == L'\\') --n;  // a drive root keeps its separator
    if (n == 0 || n + 1 > capacity) return 0;
    std::memcpy(buffer, folder, n * sizeof(char16_t));
    buffer[n] = 0;
    return n;
}

bool setCurrentDirectory(const char16_t* path) {
    return path && *path && SetCurrentDirectoryW(wide(path)) != 0;
}

uint32_t lastSystemError() {
    return GetLastError();
}

void systemErrorText(uint32_t code, char* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return;
    buffer[0] = 0;
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, 512, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ' ||
                     text[n - 1] == L'.'))
        --n;
    if (n == 0) {
        std::snprintf(buffer, capacity, "system error %lu", static_cast<unsigned long>(code));
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), buffer,
                                    static_cast<int>(capacity - 1), nullptr, nullptr);
    buffer[bytes > 0 ? bytes : 0] = 0;
}

}  // namespace platform
