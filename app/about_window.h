// The About window: product name and version, a notice line and a link to
// the project's web address or, while the project has none, to the manual's
// HTML pages beside the program. It behaves like a modal dialog: its owner is
// disabled while it is open and gets the focus back when it closes (Esc or
// the close box).
#pragma once

#include <windows.h>

#include "app/html_help.h"
#include "web_address.h"

namespace app {

inline constexpr int kAboutVersionLabelId = 100;
inline constexpr int kAboutNoticeLabelId = 101;
inline constexpr int kAboutLinkId = 102;

inline constexpr wchar_t kAboutFrameClass[] = L"ver_parent_class";
inline constexpr wchar_t kAboutLinkClass[] = L"ver_child_class";

struct AboutWindowArgs {
    HINSTANCE instance = nullptr;  // owner of the two window classes
    HWND owner = nullptr;          // the settings window
    const wchar_t* caption = L"";  // string 20020 of the language library
    HFONT font = nullptr;          // the UI font, set on every control
    // Opens the link's target when the link is clicked.
    OpenAddressFn openAddress = openAddressWithShell;
    // The link's target when not empty (the build's web address by default).
    const wchar_t* webAddress = kProjectWebAddress;
    // Otherwise the manual page beside this program (null: the running one);
    // when that page is missing too the link is empty and opens nothing.
    const wchar_t* programPath = nullptr;
};

// Opens the About window and returns its frame; an About window that is
// already open is brought forward instead. Null when the window cannot be
// made (the caller reports that, as for any lack of memory); the owner is
// then left enabled.
HWND showAboutWindow(const AboutWindowArgs& args);

}  // namespace app
