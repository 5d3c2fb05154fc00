// The program's icon set on one window at the sizes a DPI asks for. The
// class icon is loaded once at the system's DPI; a window moved to a monitor
// of another DPI gets icons of its own, which this object owns.
#pragma once

#include <windows.h>

namespace app {

class WindowIcons {
  public:
    WindowIcons() = default;
    ~WindowIcons() { release(); }
    WindowIcons(const WindowIcons&) = delete;
    WindowIcons& operator=(const WindowIcons&) = delete;

    // Loads the big and the small icon for `dpi` and sets them on `window`;
    // the ones set before are freed once the window no longer shows them.
    void apply(HWND window, HINSTANCE instance, int dpi);
    void release();

  private:
    HICON big_ = nullptr;
    HICON small_ = nullptr;
};

}  // namespace app
