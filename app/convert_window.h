// The convert window: five format buttons, the resize switch and the button
// that opens the settings window. Keys B, P, J, G, T and S act as the buttons
// wherever the focus is in the window; Esc closes the program. Tab and
// Shift+Tab walk the controls in layout order, Enter presses the focused
// push button and Space works the focused control.
#pragma once

#include "app/window.h"

namespace app {

class Shell;

class ConvertWindow : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"Pirex_convert_class";
    static constexpr int kClientWidth = 222;
    static constexpr int kClientHeight = 107;
    static constexpr DWORD kStyle = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME;

    explicit ConvertWindow(Shell& app) : app_(app) {}

    bool create();
    bool resizeChecked() const;
    void setResizeChecked(bool on);
    void enableJpegCopy(bool enabled);
    // The font and the button places for the application's new DPI.
    void applyDpi();
    // The keyboard before a message is dispatched: true when it was handled.
    bool translateKeyboard(MSG& message);
    // The resize switch is being toggled with Space.
    bool switchedByKeyboard() const { return switchedByKeyboard_; }

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void createControls();
    void keyDown(WPARAM key);
    void pressFocusedButton(HWND focus);

    Shell& app_;
    bool switchedByKeyboard_ = false;
};

}  // namespace app
