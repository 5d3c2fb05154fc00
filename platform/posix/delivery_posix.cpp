// Delivering a finished file into the output folder (Linux): a hidden copy
// that reaches the disk, then a rename that never replaces anything.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {

namespace {

std::string parentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The rename itself is durable only once the folder's entry list is on disk.
void flushFolderOf(const std::string& path) {
    const int folder = ::open(parentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    fsync(folder);
    ::close(folder);
}

// Eight hex digits that differ between processes and between calls.
std::string hiddenSuffix(unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint32_t mix = static_cast<uint32_t>(getpid()) * 2654435761u;
    mix ^= static_cast<uint32_t>(now.tv_nsec) ^ static_cast<uint32_t>(now.tv_sec) << 20;
    mix ^= (counter.fetch_add(1) + attempt) * 0x9E3779B9u;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", mix);
    return text;
}

}  // namespace

bool nameTaken(const char16_t* path) {
    struct stat info;
    // lstat: a link that points nowhere still holds the name.
    return path && *path && lstat(toUtf8(path).c_str(), &info) == 0;
}

bool createHiddenFile(const char16_t* folder, File& file, char16_t* buffer, size_t capacity) {
    if (!folder || !*folder) return false;
    std::u16string base(folder);
    if (base.back() != u'/') base += u'/';
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::u16string path = base + fromUtf8((".mv-" + hiddenSuffix(attempt)).c_str());
        if (path.size() + 1 > capacity) return false;
        if (file.createNew(path.c_str())) {
            std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(char16_t));
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

RenameOutcome renameNoReplace(const char16_t* from, const char16_t* to) {
    if (!from || !*from || !to || !*to) return RenameOutcome::Failed;
    const std::string source = toUtf8(from);
    const std::string target = toUtf8(to);
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        flushFolderOf(target);
        return RenameOutcome::Renamed;
    }
    if (errno == EEXIST) return RenameOutcome::NameTaken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return RenameOutcome::Failed;
    // A file system without the no-replace rename: a hard link fails just the
    // same when the name is taken, and the hidden name is dropped afterwards.
    if (link(source.c_str(), target.c_str()) != 0)
        return errno == EEXIST ? RenameOutcome::NameTaken : RenameOutcome::Failed;
    unlink(source.c_str());
    flushFolderOf(target);
    return RenameOutcome::Renamed;
}

}  // namespace platform
