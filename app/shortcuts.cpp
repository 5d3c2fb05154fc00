#include "app/shortcuts.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "core/settings.h"

namespace app {

namespace {

constexpr wchar_t kShortcutName[] = L"Moravel.lnk";
constexpr wchar_t kFirstOlderName[] = L"Convert (BMP PNG JPEG).lnk";
constexpr wchar_t kSecondOlderName[] = L"PirexMoravel.lnk";

// Owns one COM interface pointer.
template <class Interface>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    void** out() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

// folder + "\" + name, when it fits.
bool joinPath(const wchar_t* folder, const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
    const size_t folderLength = std::wcslen(folder);
    const size_t nameLength = std::wcslen(name);
    if (folderLength == 0) return false;
    const bool needsSeparator = folder[folderLength - 1] != L'\\';
    if (folderLength + (needsSeparator ? 1 : 0) + nameLength >= MAX_PATH) return false;
    std::wmemcpy(path, folder, folderLength);
    size_t at = folderLength;
    if (needsSeparator) path[at++] = L'\\';
    std::wmemcpy(path + at, name, nameLength + 1);
    return true;
}

const wchar_t* folderOf(const ShortcutLocations& locations, ShortcutPlace place) {
    return place == ShortcutPlace::SendTo ? locations.sendToFolder : locations.desktopFolder;
}

void systemFolder(int csidl, wchar_t (&folder)[MAX_PATH]) {
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder)))
        folder[0] = L'\0';
}

}  // namespace

ShortcutLocations systemShortcutLocations() {
    ShortcutLocations locations;
    systemFolder(CSIDL_SENDTO, locations.sendToFolder);
    systemFolder(CSIDL_DESKTOPDIRECTORY, locations.desktopFolder);
    const DWORD length = GetModuleFileNameW(nullptr, locations.programPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) locations.programPath[0] = L'\0';
    return locations;
}

bool shortcutPath(const ShortcutLocations& locations, ShortcutPlace place,
                  wchar_t (&linkPath)[MAX_PATH]) {
    return joinPath(folderOf(locations, place), kShortcutName, linkPath);
}

bool shortcutExists(const ShortcutLocations& locations, ShortcutPlace place) {
    wchar_t linkPath[MAX_PATH];
    return shortcutPath(locations, place, linkPath) && PathFileExistsW(linkPath);
}

bool createShellLink(const wchar_t* linkPath, const wchar_t* targetPath) {
    if (targetPath[0] == L'\0') return false;
    ComRef<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.out())))
        return false;
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.out()))) return false;
    if (FAILED(link->SetPath(targetPath)) || FAILED(link->SetArguments(L"")) ||
        FAILED(link->SetIconLocation(targetPath, 0)) || FAILED(link->SetShowCmd(SW_SHOWNORMAL)))
        return false;
    return SUCCEEDED(file->Save(linkPath, TRUE));
}

bool applyShortcut(const ShortcutLocations& locations, ShortcutPlace place, bool wanted) {
    wchar_t linkPath[MAX_PATH];
    if (!shortcutPath(locations, place, linkPath)) return !wanted;
    const bool exists = PathFileExistsW(linkPath) != FALSE;
    if (wanted && !exists) return createShellLink(linkPath, locations.programPath);
    if (!wanted && exists) return DeleteFileW(linkPath) != FALSE;
    return true;
}

bool migrateOldSendToShortcuts(const ShortcutLocations& locations, Settings& settings) {
    if (settings.sendToMigrated1 != 0 && settings.sendToMigrated2 != 0)
        return shortcutExists(locations, ShortcutPlace::SendTo);

    const wchar_t* olderName = settings.sendToMigrated1 == 0 ? kFirstOlderName : kSecondOlderName;
    bool ticked = false;
    wchar_t olderPath[MAX_PATH];
    if (joinPath(locations.sendToFolder, olderName, olderPath) && PathFileExistsW(olderPath)) {
        DeleteFileW(olderPath);
        // A "Moravel.lnk" that is already there is kept as it is.
        applyShortcut(locations, ShortcutPlace::SendTo, true);
        ticked = true;
    }
    settings.sendToMigrated1 = 1;
    settings.sendToMigrated2 = 1;
    return ticked;
}

bool shortcutExists(ShortcutPlace place) {
    return shortcutExists(systemShortcutLocations(), place);
}

bool applyShortcut(ShortcutPlace place, bool wanted) {
    return applyShortcut(systemShortcutLocations(), place, wanted);
}

bool migrateOldSendToShortcuts(Settings& settings) {
    return migrateOldSendToShortcuts(systemShortcutLocations(), settings);
}

}  // namespace app
