#include "cli/source_paths.h"

#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#endif

#ifdef _WIN32

std::u16string absolutePath(const std::u16string& path) {
    if (path.empty()) return path;
    const auto* wide = reinterpret_cast<const wchar_t*>(path.c_str());
    const DWORD needed = GetFullPathNameW(wide, 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = GetFullPathNameW(wide, needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

#else

namespace {

std::string currentFolder() {
    std::vector<char> buffer(PATH_MAX);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

// The real path of an existing folder (symbolic links and ".." resolved as
// the system resolves them); empty when it does not exist.
std::string realFolder(const std::string& folder) {
    char* real = realpath(folder.c_str(), nullptr);
    if (!real) return {};
    std::string result(real);
    std::free(real);
    return result;
}

// Drops "." segments and repeated separators; ".." is kept (the folder it
// would climb out of does not exist, so the system decides later).
std::string tidy(const std::string& path) {
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        size_t next = path.find('/', i);
        if (next == std::string::npos) next = path.size();
        const std::string segment = path.substr(i, next - i);
        if (!segment.empty() && segment != ".") out += "/" + segment;
        i = next + 1;
    }
    return out.empty() ? "/" : out;
}

}  // namespace

std::u16string absolutePath(const std::u16string& path) {
    if (path.empty()) return path;
    std::string utf8 = platform::toUtf8(path.data(), path.size());
    if (utf8[0] != '/') {
        const std::string here = currentFolder();
        if (here.empty()) return path;
        utf8 = here + "/" + utf8;
    }
    const std::string tidied = tidy(utf8);
    // Resolve the folder part against the real folders; the last segment is
    // the file itself (or a folder, resolved whole).
    const size_t slash = tidied.rfind('/');
    const std::string name = tidied.substr(slash + 1);
    std::string result;
    if (name == "..") {
        result = realFolder(tidied);
    } else {
        const std::string folder = realFolder(slash == 0 ? "/" : tidied.substr(0, slash));
        if (!folder.empty()) result = (folder == "/" ? "" : folder) + "/" + name;
    }
    if (result.empty()) result = tidied;
    return platform::fromUtf8(result.c_str());
}

#endif

SourceKind classifySource(const std::u16string& absolute) {
    if (absolute.empty() || !platform::pathExists(absolute.c_str())) return SourceKind::Missing;
    return platform::isDirectory(absolute.c_str()) ? SourceKind::Folder : SourceKind::File;
}
