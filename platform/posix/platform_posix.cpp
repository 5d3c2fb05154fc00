// POSIX implementation of the platform layer (the Linux engine build).
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {

// ---- Private heap: every block carries a header linking it into the heap's
// list, so destroying the heap can release what is left.
namespace {
struct BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
};
struct HeapList {
    BlockHeader head{&head, &head};
    std::mutex lock;  // several workers allocate at once
};
constexpr size_t kHeaderSize = 16;
static_assert(sizeof(BlockHeader) <= kHeaderSize);
}  // namespace

PrivateHeap::PrivateHeap() : impl_(new HeapList) {}

PrivateHeap::~PrivateHeap() {
    auto* list = static_cast<HeapList*>(impl_);
    BlockHeader* block = list->head.next;
    while (block != &list->head) {
        BlockHeader* next = block->next;
        std::free(block);
        block = next;
    }
    delete list;
}

void* PrivateHeap::allocate(size_t bytes) {
    if (!allowedByTestHook()) return nullptr;
    if (bytes > SIZE_MAX - kHeaderSize) return nullptr;
    auto* block = static_cast<BlockHeader*>(std::calloc(1, bytes + kHeaderSize));
    if (!block) return nullptr;
    auto* list = static_cast<HeapList*>(impl_);
    std::lock_guard<std::mutex> guard(list->lock);
    block->next = list->head.next;
    block->previous = &list->head;
    list->head.next->previous = block;
    list->head.next = block;
    ++liveBlocks_;
    return reinterpret_cast<uint8_t*>(block) + kHeaderSize;
}

void PrivateHeap::release(void* pointer) {
    if (!pointer) return;
    auto* block = reinterpret_cast<BlockHeader*>(static_cast<uint8_t*>(pointer) - kHeaderSize);
    std::lock_guard<std::mutex> guard(static_cast<HeapList*>(impl_)->lock);
    block->previous->next = block->next;
    block->next->previous = block->previous;
    std::free(block);
    --liveBlocks_;
}

PrivateHeap& privateHeap() {
    static PrivateHeap heap;
    return heap;
}

// ---- Pages: the mapping length is kept in the first 64 bytes so that the
// caller only needs the pointer to give the pages back.
namespace {
constexpr size_t kPageHeader = 64;
}

void* allocatePages(size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX - kPageHeader - 4096) return nullptr;
    size_t total = bytes + kPageHeader;
    void* pages = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return nullptr;
    std::memcpy(pages, &total, sizeof total);
    return static_cast<uint8_t*>(pages) + kPageHeader;
}

void releasePages(void* pointer) {
    if (!pointer) return;
    uint8_t* pages = static_cast<uint8_t*>(pointer) - kPageHeader;
    size_t total;
    std::memcpy(&total, pages, sizeof total);
    munmap(pages, total);
}

void releaseCachedPages() {
    // Nothing is kept: releasePages unmaps at once.
}

// ---- Files.
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

namespace {
NativeHandle openPath(const char16_t* path, int flags, mode_t mode = 0) {
    if (!path || !*path) return kNoHandle;
    // Only regular files are used. O_NONBLOCK keeps the open of a FIFO from
    // waiting for a writer that never comes; fstat then refuses it.
    int fd = ::open(toUtf8(path).c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) return kNoHandle;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = EINVAL;
        return kNoHandle;
    }
    return fd;
}
}  // namespace

bool File::openForReading(const char16_t* path) {
    close();
    handle_ = openPath(path, O_RDONLY);
    return isOpen();
}

bool File::create(const char16_t* path) {
    close();
    handle_ = openPath(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return isOpen();
}

bool File::createNew(const char16_t* path) {
    close();
    handle_ = openPath(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    return isOpen();
}

size_t File::read(void* buffer, size_t bytes) {
    if (!isOpen()) return 0;
    size_t done = 0;
    while (done < bytes) {
        ssize_t n =
            ::read(static_cast<int>(handle_), static_cast<uint8_t*>(buffer) + done, bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool File::readSome(void* buffer, size_t capacity, size_t& got) {
    got = 0;
    if (!isOpen()) return false;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), buffer, capacity);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        got = static_cast<size_t>(n);
        return true;
    }
}

bool File::write(const void* data, size_t bytes) {
    if (!isOpen()) return false;
    size_t done = 0;
    while (done < bytes) {
        ssize_t n = ::write(static_cast<int>(handle_), static_cast<const uint8_t*>(data) + done,
                            bytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool File::size(uint64_t& bytes) const {
    struct stat info;
    if (!isOpen() || fstat(static_cast<int>(handle_), &info) != 0) return false;
    bytes = static_cast<uint64_t>(info.st_size);
    return true;
}

uint64_t File::lastWriteTime() const {
    struct stat info;
    if (!isOpen() || fstat(static_cast<int>(handle_), &info) != 0) return 0;
    // Seconds between 1601-01-01 and 1970-01-01.
    constexpr uint64_t kEpochDifference = 11644473600ULL;
    return (static_cast<uint64_t>(info.st_mtim.tv_sec) + kEpochDifference) * 10000000ULL +
           static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
}

void File::close() {
    if (isOpen()) ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
}

bool File::closeChecked() {
    if (!isOpen()) return false;
    const int fd = static_cast<int>(handle_);
    handle_ = kNoHandle;
    // Linux releases the descriptor even when close reports EINTR: no retry.
    return ::close(fd) == 0;
}

void releaseConsumedPages(const uint8_t* from, size_t bytes) {
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(from) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(from) + bytes) & ~(page - 1);
    if (!from || end <= start) return;
    madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

// ---- Paths and folders.
bool pathExists(const char16_t* path) {
    struct stat info;
    return path && *path && stat(toUtf8(path).c_str(), &info) == 0;
}

bool isDirectory(const char16_t* path) {
    struct stat info;
    return path && *path && stat(toUtf8(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool createDirectory(const char16_t* path) {
    return path && *path && mkdir(toUtf8(path).c_str(), 0755) == 0;
}

bool removeDirectory(const char16_t* path) {
    return path && *path && rmdir(toUtf8(path).c_str()) == 0;
}

bool deleteFile(const char16_t* path) {
    return path && *path && unlink(toUtf8(path).c_str()) == 0;
}

bool copyFile(const char16_t* from, const char16_t* to, bool overwrite) {
    File source;
    if (!source.openForReading(from)) return false;
    File target;
    if (!(overwrite ? target.create(to) : target.createNew(to))) return false;
    static constexpr size_t kChunk = 1 << 20;
    auto* buffer = static_cast<uint8_t*>(allocatePages(kChunk));
    if (!buffer) return false;
    bool ok = true;
    for (;;) {
        size_t n = source.read(buffer, kChunk);
        if (n == 0) break;
        if (!target.write(buffer, n)) {
            ok = false;
            break;
        }
    }
    releasePages(buffer);
    target.close();
    if (!ok) deleteFile(to);
    return ok;
}

size_t tempFolder(char16_t* buffer, size_t capacity) {
    const char* tmp = std::getenv("TMPDIR");
    std::u16string folder = fromUtf8(tmp && *tmp ? tmp : "/tmp");
    if (folder.empty() || folder.back() != u'/') folder += u'/';
    // A TMPDIR that is too long for the program's paths or is not a folder is
    // passed over for the system's own, as the C library does.
    constexpr size_t kLongestFolder = 259;
    if (folder.size() > kLongestFolder || folder.size() + 1 > capacity ||
        !isDirectory(folder.c_str()))
        folder = u"/tmp/";
    if (folder.size() + 1 > capacity) return 0;
    std::memcpy(buffer, folder.c_str(), (folder.size() + 1) * sizeof(char16_t));
    return folder.size();
}

bool createUniqueTempFile(const char16_t* folder, const char16_t* prefix, char16_t* buffer,
                          size_t capacity) {
    std::string pattern = toUtf8(folder);
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += toUtf8(prefix);
    pattern += "XXXXXX";
    std::string name(pattern);
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    ::close(fd);
    std::u16string wide = fromUtf8(name.c_str());
    if (wide.size() + 1 > capacity) {
        unlink(name.c_str());
        return false;
    }
    std::memcpy(buffer, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return true;
}

void notifyChange(ChangeKind, const char16_t*) {}

// ---- Updating a file in place or by replacement; program and user folders.
bool File::openForUpdate(const char16_t* path) {
    close();
    handle_ = openPath(path, O_RDWR | O_CREAT, 0644);
    return isOpen();
}

bool File::seek(uint64_t offset) {
    if (!isOpen() || offset > static_cast<uint64_t>(INT64_MAX)) return false;
    const off_t target = static_cast<off_t>(offset);
    return lseek(static_cast<int>(handle_), target, SEEK_SET) == target;
}

bool File::setEndOfFile() {
    if (!isOpen()) return false;
    const off_t here = lseek(static_cast<int>(handle_), 0, SEEK_CUR);
    return here >= 0 && ftruncate(static_cast<int>(handle_), here) == 0;
}

bool File::flush() {
    return isOpen() && fsync(static_cast<int>(handle_)) == 0;
}

bool replaceFile(const char16_t* from, const char16_t* to) {
    return from && *from && to && *to && rename(toUtf8(from).c_str(), toUtf8(to).c_str()) == 0;
}

namespace {
size_t copyOut(const std::u16string& text, char16_t* buffer, size_t capacity) {
    if (text.empty() || text.size() + 1 > capacity) return 0;
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return text.size();
}
}  // namespace

size_t programPath(char16_t* buffer, size_t capacity) {
    char link[4096];
    const ssize_t n = readlink("/proc/self/exe", link, sizeof link - 1);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof link - 1) return 0;
    link[n] = 0;
    return copyOut(fromUtf8(link), buffer, capacity);
}

size_t appDataFolder(char16_t* buffer, size_t capacity) {
    std::string folder;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return 0;
        folder = home;
        if (folder.back() != '/') folder += '/';
        folder += ".config";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return copyOut(fromUtf8(folder.c_str()), buffer, capacity);
}

bool setCurrentDirectory(const char16_t* path) {
    return path && *path && chdir(toUtf8(path).c_str()) == 0;
}

uint32_t lastSystemError() {
    return static_cast<uint32_t>(errno);
}

void systemErrorText(uint32_t code, char* buffer, size_t capacity) {
    if (!buffer || capacity == 0) return;
    const char* text = strerror(static_cast<int>(code));
    size_t n = 0;
    for (; text && text[n] && n + 1 < capacity; ++n) buffer[n] = text[n];
    buffer[n] = 0;
}

}  // namespace platform
