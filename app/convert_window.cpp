#include "app/convert_window.h"

#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/language_library.h"
#include "app/shell.h"

namespace app {

namespace {

struct ControlPlace {
    int id;
    DWORD kind;
    int x, y, width, height;
};

constexpr ControlPlace kControls[] = {
    {kIdConvertBmp, BS_PUSHBUTTON, 10, 10, 64, 24},
    {kIdConvertPng, BS_PUSHBUTTON, 79, 10, 64, 24},
    {kIdConvertGif, BS_PUSHBUTTON, 148, 10, 64, 24},
    {kIdConvertJpeg, BS_PUSHBUTTON, 10, 39, 64, 24},
    {kIdConvertJpegCopy, BS_PUSHBUTTON, 79, 39, 133, 24},
    {kIdResizeSwitch, BS_AUTOCHECKBOX, 13, 77, 106, 15},
    {kIdOpenSettings, BS_PUSHBUTTON, 127, 73, 85, 24},
};

struct KeyCommand {
    WPARAM key;
    int command;
};

constexpr KeyCommand kKeys[] = {
    {'B', kIdConvertBmp}, {'P', kIdConvertPng},      {'J', kIdConvertJpeg},
    {'G', kIdConvertGif}, {'T', kIdConvertJpegCopy}, {'S', kIdOpenSettings},
};

RECT placeAtDpi(const ControlPlace& place, int dpi) {
    return scaleForDpi(RECT{place.x, place.y, place.x + place.width, place.y + place.height}, dpi);
}

}  // namespace

bool ConvertWindow::create() {
    return Window::create(app_.instance(), kClassName, kExStyle, kStyle, kClientWidth,
                          kClientHeight, kStyle, kExStyle, nullptr);
}

void ConvertWindow::createControls() {
    const int dpi = app_.uiDpi();
    for (const ControlPlace& place : kControls) {
        const RECT box = placeAtDpi(place, dpi);
        createButton(hwnd(), place.id, place.kind | WS_TABSTOP, box.left, box.top,
                     box.right - box.left, box.bottom - box.top, app_.language().text(place.id),
                     app_.uiFont());
    }
    setResizeChecked(app_.settings().resizeOn != 0);
}

void ConvertWindow::applyDpi() {
    const int dpi = app_.uiDpi();
    resizeForDpi(kClientWidth, kClientHeight, kStyle, kExStyle, dpi);
    for (const ControlPlace& place : kControls) {
        HWND button = GetDlgItem(hwnd(), place.id);
        const RECT box = placeAtDpi(place, dpi);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(app_.uiFont()), FALSE);
        SetWindowPos(button, nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd(), nullptr, TRUE);
}

bool ConvertWindow::resizeChecked() const {
    return IsDlgButtonChecked(hwnd(), kIdResizeSwitch) == BST_CHECKED;
}

void ConvertWindow::setResizeChecked(bool on) {
    CheckDlgButton(hwnd(), kIdResizeSwitch, on ? BST_CHECKED : BST_UNCHECKED);
}

void ConvertWindow::enableJpegCopy(bool enabled) {
    EnableWindow(GetDlgItem(hwnd(), kIdConvertJpegCopy), enabled);
}

bool ConvertWindow::translateKeyboard(MSG& message) {
    if (!hwnd() || (message.hwnd != hwnd() && !IsChild(hwnd(), message.hwnd))) return false;
    // The format letters act wherever the focus is in this window, as long
    // as no Ctrl or Alt goes with them.
    if (message.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0)
        for (const KeyCommand& entry : kKeys)
            if (entry.key == message.wParam) {
                keyDown(message.wParam);
                return true;
            }
    // Space lets go of the resize switch: it toggles with the focus on it.
    const bool switchKey = message.message == WM_KEYUP && message.wParam == VK_SPACE &&
                           message.hwnd == GetDlgItem(hwnd(), kIdResizeSwitch);
    switchedByKeyboard_ = switchKey;
    const bool handled = IsDialogMessageW(hwnd(), &message) != FALSE;
    switchedByKeyboard_ = false;
    return handled;
}

void ConvertWindow::pressFocusedButton(HWND focus) {
    if (!focus || GetParent(focus) != hwnd() || !IsWindowEnabled(focus)) return;
    const LONG kind = GetWindowLongW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON) app_.convertCommand(GetDlgCtrlID(focus));
}

void ConvertWindow::keyDown(WPARAM key) {
    if (key == VK_ESCAPE) {
        SendMessageW(hwnd(), WM_CLOSE, 0, 0);
        return;
    }
    for (const KeyCommand& entry : kKeys)
        if (entry.key == key) {
            app_.convertCommand(entry.command);
            return;
        }
}

LRESULT ConvertWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_PAINT:
            paintBackground();
            return 0;
        case WM_CLOSE:
            app_.convertWindowClosing();
            break;  // the default destroys this window and the settings window it owns
        case WM_ENDSESSION:
            if (!wParam) break;
            app_.sessionEnding();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_KEYDOWN:
            keyDown(wParam);
            return 0;
        case WM_DPICHANGED:
            app_.dpiChanged(HIWORD(wParam));
            moveToSuggested(lParam);
            return 0;
        case WM_COMMAND:
            // IDCANCEL and IDOK come from the dialog manager's Esc and Enter:
            // Esc closes, Enter presses the push button with the focus.
            if (LOWORD(wParam) == IDCANCEL) {
                SendMessageW(hwnd(), WM_CLOSE, 0, 0);
            } else if (LOWORD(wParam) == IDOK) {
                pressFocusedButton(GetFocus());
            } else if (HIWORD(wParam) == BN_CLICKED) {
                app_.convertCommand(LOWORD(wParam));
            }
            return 0;
        case WM_COPYDATA:
            return app_.receiveFiles(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) ? TRUE
                                                                                       : FALSE;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace app
