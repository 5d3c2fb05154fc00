#include "plugins/plugin_host.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "codecs/codec_status.h"
#include "core/path_limits.h"
#include "platform/platform.h"
#include "plugins/plugin_bitmap.h"
#include "plugins/plugin_library.h"

namespace {

// The first 2048 bytes of a file as plug-ins expect them, plus the 128-byte
// header some formats put in front (a second look starts after it).
constexpr size_t kHeadSize = 2048 + 128;
constexpr int32_t kSkippedHeader = 128;
// Paths and describing texts hold at most 259 characters plus the terminator.
constexpr int kTextCapacity = static_cast<int>(kPathCapacity);

const wchar_t* wide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// A directory search, closed when the object goes away.
class FindHandle {
  public:
    explicit FindHandle(const wchar_t* pattern) : handle_(FindFirstFileW(pattern, &data_)) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    const WIN32_FIND_DATAW& current() const { return data_; }
    bool next() { return FindNextFileW(handle_, &data_) != 0; }

  private:
    WIN32_FIND_DATAW data_{};
    HANDLE handle_;
};

// True when the name ends in the extension (".spi" or ".sph"), in any case.
// The search patterns also match longer extensions through their short names
// ("a.spix" is "A~1.SPI"); such files are not plug-ins.
bool hasExtension(const char16_t* name, const char16_t* extension) {
    const size_t length = platform::textLength(name);
    return length >= 4 && sameName(name + length - 4, extension);
}

// Calls visit(name) for every "*.spi" file of the folder, then every "*.sph"
// file, in the order the file system returns them, until visit returns true.
template <typename Visit>
void forEachPluginFile(const HeapString& folder, Visit visit) {
    for (const char16_t* pattern : {u"*.spi", u"*.sph"}) {
        HeapString search(folder);
        if (!search.appendPath(pattern)) return;
        FindHandle find(wide(search.c_str()));
        if (!find.valid()) continue;
        do {
            const WIN32_FIND_DATAW& entry = find.current();
            const char16_t* name = reinterpret_cast<const char16_t*>(entry.cFileName);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            if (!hasExtension(name, pattern + 1)) continue;
            if (visit(name)) return;
        } while (find.next());
    }
}

bool loadPlugin(PluginLibrary& library, const HeapString& folder, const char16_t* name) {
    HeapString path(folder);
    return path.appendPath(name) && library.load(wide(path.c_str()));
}

// The path in the ANSI code page, which is all a plug-in understands. A name
// the code page cannot spell goes by its short name rather than by a mangled
// one that would name another file or none.
bool toAnsiPath(const char16_t* path, char (&ansi)[kTextCapacity + 1]) {
    auto convert = [&](const wchar_t* text) {
        std::memset(ansi, 0, sizeof ansi);
        if (GetACP() == CP_UTF8)
            return WideCharToMultiByte(CP_UTF8, 0, text, -1, ansi, kTextCapacity, nullptr,
                                       nullptr) > 0;
        BOOL lossy = FALSE;
        const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, ansi,
                                          kTextCapacity, nullptr, &lossy);
        return n > 0 && !lossy;
    };
    if (convert(wide(path))) return true;
    wchar_t shortPath[kTextCapacity + 1] = {};
    const DWORD length = GetShortPathNameW(wide(path), shortPath, kTextCapacity + 1);
    return length > 0 && length <= kTextCapacity && convert(shortPath);
}

// A memory block handed over by a plug-in: locked while it is read, freed
// with LocalFree when the object goes away.
class LocalBlock {
  public:
    explicit LocalBlock(HLOCAL handle) : handle_(handle) {
        if (!handle_) return;
        data_ = static_cast<const uint8_t*>(LocalLock(handle_));
        if (data_) size_ = LocalSize(handle_);
    }
    ~LocalBlock() {
        if (!handle_) return;
        if (data_) LocalUnlock(handle_);
        LocalFree(handle_);
    }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    HLOCAL handle_;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// ANSI text of a plug-in into UTF-16, at most 259 characters.
bool appendAnsi(HeapString& out, const char* text) {
    wchar_t converted[kTextCapacity + 1] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, converted, kTextCapacity);
    if (n <= 1) return true;
    return out.append(reinterpret_cast<const char16_t*>(converted), static_cast<uint32_t>(n - 1));
}

}  // namespace

bool PluginHost::folderUsable() const {
    return !folder_.empty() && platform::isDirectory(folder_.c_str());
}

bool PluginHost::isDisabled(const char16_t* name) const {
    for (const NameList::Node* node = disabled_.first(); node; node = node->next)
        if (sameName(node->name.c_str(), name)) return true;
    return false;
}

ReadResult PluginHost::read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record) {
    ReadResult result;
    bool pluginFailed = false;
    result.ok = decode(path, bytes, record, result.damaged, pluginFailed);
    if (!result.ok && pluginFailed) result.status = kStatusPluginFailed;
    return result;
}

bool PluginHost::decode(const char16_t* path, const SourceBytes& bytes, ImageRecord& record,
                        bool& damaged, bool& pluginFailed) {
    dataOffset_ = 0;
    lastFault_ = 0;
    resetRecord(record);
    if (!folderUsable() || bytes.size() == 0) return false;
    record.sourceFileSize = static_cast<uint32_t>(bytes.size());
    record.sourceModified = bytes.lastWriteTime();

    // The file's first bytes; the rest of the buffer stays zero.
    uint8_t head[kHeadSize] = {};
    std::memcpy(head, bytes.data(), std::min(bytes.size(), sizeof head));
    char ansiPath[kTextCapacity + 1];
    if (!toAnsiPath(path, ansiPath)) return false;

    // Probe: the first enabled import filter that accepts the file, as it is
    // or after a 128-byte header, stays loaded.
    PluginLibrary plugin;
    int32_t offset = 0;
    bool accepted = false;
    forEachPluginFile(folder_, [&](const char16_t* name) {
        if (isDisabled(name)) return false;
        if (!loadPlugin(plugin, folder_, name)) {
            pluginFailed = pluginFailed || plugin.failedStarting();
            return false;
        }
        if (plugin.hasIsSupported()) {
            if (plugin.isSupported(ansiPath, head)) {
                accepted = plugin.isImportFilter();
                offset = 0;
            } else if (plugin.isSupported(ansiPath, head + kSkippedHeader)) {
                accepted = plugin.isImportFilter();
                offset = kSkippedHeader;
            }
        }
        if (plugin.lastFault() != 0) {
            lastFault_ = plugin.lastFault();
            pluginFailed = true;
        }
        if (!accepted) plugin.unload();
        return accepted;
    });
    if (!accepted) return false;
    // The plug-in that takes the file answers for it from here on.
    pluginFailed = false;

    // Picture.
    int16_t reportedDepth = 0;
    PluginPictureInfo info;
    if (plugin.pictureInfo(ansiPath, offset, info)) {
        reportedDepth = info.colorDepth;
        if (info.text) GlobalFree(info.text);
    }
    HLOCAL infoHandle = nullptr;
    HLOCAL bitsHandle = nullptr;
    const bool decoded = plugin.picture(ansiPath, offset, infoHandle, bitsHandle);
    if (plugin.lastFault() != 0) lastFault_ = plugin.lastFault();
    if (!decoded) {
        pluginFailed = plugin.lastFault() != 0;
        return false;
    }
    bool ok = false;
    {
        LocalBlock infoBlock(infoHandle);
        LocalBlock bitsBlock(bitsHandle);
        ok = importPluginBitmap(infoBlock.data(), infoBlock.size(), bitsBlock.data(),
                                bitsBlock.size(), record, damaged);
        if (ok) {
            uint16_t storedBitCount = 0;
            std::memcpy(&storedBitCount, infoBlock.data() + 14, sizeof storedBitCount);
            record.sourceBitsPerPixel =
                reportedDepth > 0 ? static_cast<uint32_t>(reportedDepth) : storedBitCount;
        }
    }
    if (!ok) return false;
    record.sourceFormat = kFormatUnknown;  // 0: decoded by a plug-in
    dataOffset_ = offset;
    return true;
}

bool PluginHost::listPlugins(NameList& names) const {
    if (!folderUsable()) return true;
    bool enoughMemory = true;
    PluginLibrary plugin;
    forEachPluginFile(folder_, [&](const char16_t* name) {
        if (loadPlugin(plugin, folder_, name) && plugin.isImportFilter())
            enoughMemory = names.append(name, static_cast<uint32_t>(platform::textLength(name)));
        plugin.unload();
        return !enoughMemory;
    });
    return enoughMemory;
}

bool PluginHost::describePlugin(const char16_t* name, HeapString& patterns,
                                HeapString& formats) const {
    if (!folderUsable()) return true;
    PluginLibrary plugin;
    if (!loadPlugin(plugin, folder_, name)) return true;

    // Built in the plug-in's code page; every text fits its 260-byte buffer.
    char patternText[kTextCapacity + 1] = {};
    char formatText[kTextCapacity + 1] = {};
    char item[kTextCapacity + 1];
    int patternLength = plugin.infoText(2, item);
    if (patternLength == 0) return true;
    std::memcpy(patternText, item, static_cast<size_t>(patternLength) + 1);
    int formatLength = plugin.infoText(3, item);
    if (formatLength == 0) return true;
    std::memcpy(formatText, item, static_cast<size_t>(formatLength) + 1);

    // Running lengths count each text with one separator (or terminator).
    int patternTotal = patternLength + 1;
    int formatTotal = formatLength + 1;
    for (int index = 4;; index += 2) {
        const int nextPattern = plugin.infoText(index, item);
        if (nextPattern == 0) break;
        patternTotal += nextPattern + 1;
        if (patternTotal >= kTextCapacity) break;
        std::strcat(patternText, ";");
        std::strcat(patternText, item);
        const int nextFormat = plugin.infoText(index + 1, item);
        if (nextFormat == 0) break;
        formatTotal += nextFormat + 1;
        if (formatTotal >= kTextCapacity) break;
        std::strcat(formatText, "/");
        std::strcat(formatText, item);
    }
    patterns.clear();
    formats.clear();
    return appendAnsi(patterns, patternText) && appendAnsi(formats, formatText);
}

void PluginHost::showPluginSettings(HWND parent, const char16_t* name) const {
    if (!folderUsable()) return;
    PluginLibrary plugin;
    if (loadPlugin(plugin, folder_, name)) plugin.showSettings(parent);
}
