#include "app/window_icons.h"

#include "app/dpi.h"

namespace app {

namespace {

constexpr int kProgramIcon = 100;

HICON loadProgramIcon(HINSTANCE instance, int size) {
    // Not shared: a shared icon keeps the first size it was loaded at.
    return static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, size, size, 0));
}

}  // namespace

void WindowIcons::apply(HWND window, HINSTANCE instance, int dpi) {
    if (!window) return;
    const auto replace = [&](WPARAM kind, int metric, HICON& held) {
        HICON icon = loadProgramIcon(instance, systemMetricForDpi(metric, dpi));
        if (!icon) return;  // the window keeps the icon it shows
        SendMessageW(window, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
        // The one swapped out is no longer on the window.
        if (held) DestroyIcon(held);
        held = icon;
    };
    replace(ICON_BIG, SM_CXICON, big_);
    replace(ICON_SMALL, SM_CXSMICON, small_);
}

void WindowIcons::release() {
    if (big_) DestroyIcon(big_);
    if (small_) DestroyIcon(small_);
    big_ = small_ = nullptr;
}

}  // namespace app
