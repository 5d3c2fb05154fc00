// The thin operating-system layer. Everything above it is shared between the
// Windows program and the Linux engine build. Strings are UTF-16 NUL-terminated
// paths; the POSIX implementation converts them to UTF-8 at the system call.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// ---- Private heap: zero-filled blocks, freed individually, all released when
// the heap is destroyed. Safe to use from several threads at once.
class PrivateHeap {
  public:
    PrivateHeap();
    ~PrivateHeap();
    PrivateHeap(const PrivateHeap&) = delete;
    PrivateHeap& operator=(const PrivateHeap&) = delete;

    bool valid() const { return impl_ != nullptr; }
    void* allocate(size_t bytes);  // zero-filled; null when refused
    void release(void* block);     // null is ignored
    size_t liveBlocks() const { return liveBlocks_; }

    // Test hook: refuse every allocation once this many more have succeeded
    // (negative: never refuse).
    void refuseAfter(long count) { refuseAfter_ = count; }

  private:
    // False when the test hook refuses this allocation; counts it down otherwise.
    bool allowedByTestHook() {
        long left = refuseAfter_.load();
        while (left > 0 && !refuseAfter_.compare_exchange_weak(left, left - 1)) {
        }
        return left != 0;
    }

    void* impl_ = nullptr;
    std::atomic<size_t> liveBlocks_{0};
    std::atomic<long> refuseAfter_{-1};
};

// The process-wide heap, created on first use and released at exit.
PrivateHeap& privateHeap();

// ---- Page allocations for pixel buffers and large work areas.
void* allocatePages(size_t bytes);  // committed read-write, zero-filled; null when refused
void releasePages(void* pages);     // null is ignored
// Gives back to the system the released pages kept for reuse (Windows keeps
// a few large blocks while a batch runs; elsewhere pages go back at once).
void releaseCachedPages();

// ---- Files.
using NativeHandle = intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// An open file, closed when the object goes away.
class File {
  public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }
    File& operator=(File&& other) noexcept;

    // Read-only, shared for reading by others.
    bool openForReading(const char16_t* path);
    // Creates or truncates the file for writing.
    bool create(const char16_t* path);
    // Creates the file for writing; fails when it already exists.
    bool createNew(const char16_t* path);
    // Read and write, shared for reading; an empty file is created when missing.
    bool openForUpdate(const char16_t* path);

    bool isOpen() const { return handle_ != kNoHandle; }
    // Reads up to `bytes`; returns the number read (0 at the end or on error).
    size_t read(void* buffer, size_t bytes);
    // Reads what is there, up to `capacity`, into `got` (0 at the end);
    // false on a read error, which must not pass for the end of the file.
    bool readSome(void* buffer, size_t capacity, size_t& got);
    // Writes everything or reports failure.
    bool write(const void* data, size_t bytes);
    // Size in bytes; false on error.
    bool size(uint64_t& bytes) const;
    // Moves the file position to `offset` bytes from the start.
    bool seek(uint64_t offset);
    // Cuts (or extends) the file at the current position.
    bool setEndOfFile();
    // Pushes written data through to the disk.
    bool flush();
    // Closes the file and reports whether the system accepted the close (a
    // delayed write error can surface only here).
    bool closeChecked();
    // Last-write time as 100-nanosecond intervals since 1601-01-01.
    uint64_t lastWriteTime() const;
    void close();
    NativeHandle handle() const { return handle_; }

  private:
    NativeHandle handle_ = kNoHandle;
};

// Gives back the whole pages inside [from, from + bytes) of a page
// allocation whose contents are no longer needed: a reader calls it on the
// part of its copy of a source that it has consumed, so that a big source
// does not stay resident while the output is made. The memory stays
// accessible; what it then reads is unspecified (zeros or the old bytes).
void releaseConsumedPages(const uint8_t* from, size_t bytes);

// ---- Paths and folders.
bool pathExists(const char16_t* path);
bool isDirectory(const char16_t* path);
bool createDirectory(const char16_t* path);
bool removeDirectory(const char16_t* path);
bool deleteFile(const char16_t* path);
// Copies a file. Without `overwrite` the copy fails when the target exists,
// so that a name checked as free cannot be overwritten by a race.
bool copyFile(const char16_t* from, const char16_t* to, bool overwrite);
// Moves `from` over `to`, replacing it in one step where the system allows.
bool replaceFile(const char16_t* from, const char16_t* to);

// ---- Delivering a finished file into a folder. The bytes go to a hidden
// name first and reach the disk there; only then does the file take its
// final name, so no kill or power loss leaves a partial file under it.
//
// True when anything has this name: a file, a folder, or a link, even one
// that points nowhere.
bool nameTaken(const char16_t* path);
// Creates an empty file with a fresh hidden name in `folder` (".mv-XXXXXXXX"
// on Linux, a hidden "~mvXXXX.tmp" on Windows), open for writing, and writes
// its path into `buffer` (capacity counts the terminator).
bool createHiddenFile(const char16_t* folder, File& file, char16_t* buffer, size_t capacity);
// Copies the whole of `from` into `to`, pushes it to the disk and closes
// `to`. False on any read, write, flush or close error.
bool copyAndCommit(const char16_t* from, File& to);
enum class RenameOutcome { Renamed, NameTaken, Failed };
// Gives `from` the name `to`, never replacing anything that has that name.
RenameOutcome renameNoReplace(const char16_t* from, const char16_t* to);

// The temporary folder, ending with a separator; returns its length in
// characters, 0 on failure. `capacity` counts the terminator.
size_t tempFolder(char16_t* buffer, size_t capacity);
// Creates an empty file with a unique name "<prefix>XXXX.tmp" in `folder` and
// writes its path into `buffer` (capacity counts the terminator).
bool createUniqueTempFile(const char16_t* folder, const char16_t* prefix, char16_t* buffer,
                          size_t capacity);

// The running program's full path; returns its length in characters, 0 on
// failure (also when it does not fit). `capacity` counts the terminator.
size_t programPath(char16_t* buffer, size_t capacity);
// The user's application-data folder (Windows: CSIDL_APPDATA; elsewhere
// $XDG_CONFIG_HOME or ~/.config), without a final separator; length as above.
size_t appDataFolder(char16_t* buffer, size_t capacity);
bool setCurrentDirectory(const char16_t* path);

enum class ChangeKind { FolderCreated, FolderRemoved, FolderUpdated };
// Tells the shell that something changed (a no-op where there is no shell).
void notifyChange(ChangeKind kind, const char16_t* path);

// The operating system's code for why the last failed call on this thread
// failed (errno, or GetLastError on Windows); 0 when it gave none. Read it
// right after the failure: later calls may change it.
uint32_t lastSystemError();
// The operating system's own short text for such a code, as UTF-8 without a
// final full stop or line break ("Permission denied").
void systemErrorText(uint32_t code, char* buffer, size_t capacity);

// Length of a NUL-terminated UTF-16 text.
inline size_t textLength(const char16_t* text) {
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

}  // namespace platform
