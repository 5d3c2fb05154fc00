// A thin wrapper over a top-level window: the object is kept with its window
// (GWLP_USERDATA) and receives its messages.
#pragma once

#include <windows.h>

namespace app {

class Window {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    bool exists() const { return hwnd_ != nullptr; }

    // Registers a class whose windows forward to their Window object: the
    // program's icon 100, the arrow cursor, no background brush (WM_PAINT
    // fills with COLOR_BTNFACE).
    static bool registerClass(HINSTANCE instance, const wchar_t* className);

  protected:
    // Creates the window centred in the desktop work area; the outer size is
    // the client size (given at 96 DPI, scaled for the system's DPI) plus the
    // frame of `frameStyle`/`frameExStyle`.
    bool create(HINSTANCE instance, const wchar_t* className, DWORD exStyle, DWORD style,
                int clientWidth, int clientHeight, DWORD frameStyle, DWORD frameExStyle,
                HWND owner);
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT defaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    // Gives the window the client size (at 96 DPI) scaled for `dpi`,
    // keeping its top-left corner.
    void resizeForDpi(int clientWidth, int clientHeight, DWORD frameStyle, DWORD frameExStyle,
                      int dpi);
    // WM_DPICHANGED's suggested rectangle taken.
    void moveToSuggested(LPARAM suggested);
    // Fills the client area with the button-face colour.
    void paintBackground();

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

// A BUTTON-class child with the UI font and its caption.
HWND createButton(HWND parent, int id, DWORD kindStyle, int x, int y, int width, int height,
                  const wchar_t* caption, HFONT font);

}  // namespace app
