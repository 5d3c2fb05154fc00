// Scaling for the display's DPI. The windows are designed in pixels at 96
// DPI; at any other DPI every designed rectangle is scaled here, rounded once.
// The per-DPI functions of user32 are looked up at run time: older systems
// lack them and fall back to the screen's DPI.
#pragma once

#include <windows.h>

namespace app {

inline constexpr int kDesignDpi = 96;

// The DPI of `window`'s monitor, or the system's when `window` is null.
int dpiOf(HWND window);

int scaleForDpi(int designed, int dpi);
RECT scaleForDpi(const RECT& designed, int dpi);

// A system metric at `dpi`.
int systemMetricForDpi(int index, int dpi);

// The outer rectangle around a client area of the given size at `dpi`.
RECT windowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

}  // namespace app
