#include "app/dpi.h"

namespace app {

namespace {

using DpiForWindow = UINT(WINAPI*)(HWND);
using DpiForSystem = UINT(WINAPI*)();
using MetricsForDpi = int(WINAPI*)(int, UINT);
using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename Function>
Function user32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
               : nullptr;
}

int screenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kDesignDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

int dpiOf(HWND window) {
    if (window) {
        if (const auto forWindow = user32Function<DpiForWindow>("GetDpiForWindow"))
            if (const UINT dpi = forWindow(window)) return static_cast<int>(dpi);
    } else if (const auto forSystem = user32Function<DpiForSystem>("GetDpiForSystem")) {
        if (const UINT dpi = forSystem()) return static_cast<int>(dpi);
    }
    return screenDpi();
}

int scaleForDpi(int designed, int dpi) {
    return MulDiv(designed, dpi, kDesignDpi);
}

RECT scaleForDpi(const RECT& designed, int dpi) {
    return {scaleForDpi(designed.left, dpi), scaleForDpi(designed.top, dpi),
            scaleForDpi(designed.right, dpi), scaleForDpi(designed.bottom, dpi)};
}

int systemMetricForDpi(int index, int dpi) {
    if (const auto forDpi = user32Function<MetricsForDpi>("GetSystemMetricsForDpi"))
        return forDpi(index, static_cast<UINT>(dpi));
    // The plain metric is at the screen's DPI.
    return MulDiv(GetSystemMetrics(index), dpi, screenDpi());
}

RECT windowRectForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
    RECT frame = {0, 0, clientWidth, clientHeight};
    if (const auto adjust = user32Function<AdjustForDpi>("AdjustWindowRectExForDpi"))
        adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return frame;
}

}  // namespace app
