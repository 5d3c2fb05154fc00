#include "app/folder_chooser.h"

#include <shlobj.h>

#include "app/text.h"

namespace app {

namespace {

// Selects the current folder once the chooser is ready.
int CALLBACK preselect(HWND chooser, UINT message, LPARAM, LPARAM data) {
    const auto* folder = reinterpret_cast<const wchar_t*>(data);
    if (message == BFFM_INITIALIZED && folder && *folder)
        SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder));
    return 0;
}

}  // namespace

bool chooseFolder(HWND owner, const wchar_t* title, const HeapString& current, HeapString& chosen) {
    HeapString caption;
    if (!caption.assign(utf16(title)) || !caption.append(current.c_str())) return false;
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.lpszTitle = wide(caption.c_str());
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = preselect;
    browse.lParam = reinterpret_cast<LPARAM>(wide(current.c_str()));
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
    if (!item) return false;
    wchar_t path[MAX_PATH] = {};
    const bool isFolder = SHGetPathFromIDListW(item, path) && path[0];
    CoTaskMemFree(item);
    return isFolder && chosen.assign(utf16(path));
}

}  // namespace app
