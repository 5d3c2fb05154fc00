#include "app/settings_window.h"

#include <shellapi.h>

#include "app/application.h"
#include "app/control_ids.h"

namespace app {

bool SettingsWindow::create(HWND owner) {
    return Window::create(app_.instance(), kClassName, kExStyle, kStyle, kClientWidth,
                          kClientHeight, ConvertWindow::kStyle, ConvertWindow::kExStyle, owner);
}

void SettingsWindow::buildSystemMenu() {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    if (!menu) return;
    // Maximise and size of the standard menu: position 4 first, so that
    // position 2 still names the same item.
    DeleteMenu(menu, 4, MF_BYPOSITION);
    DeleteMenu(menu, 2, MF_BYPOSITION);
    const UiText caption = app_.language().text(kIdAlwaysOnTop);
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kIdAlwaysOnTop, caption);
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_SEPARATOR, kIdAlwaysOnTopSeparator, nullptr);
}

void SettingsWindow::buildControls() {
    // The option controls (start mode, JPEG, resize, output folder, buttons)
    // belong here.
}

void SettingsWindow::takeValues(Settings& settings) {
    // Nothing to take while the option controls do not exist.
    (void)settings;
}

int SettingsWindow::startModeSelection() const {
    HWND list = GetDlgItem(hwnd(), kIdStartModeList);
    if (!list) return app_.settings().startMode;
    return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
}

void SettingsWindow::setResizeSwitch(bool on) {
    if (HWND box = GetDlgItem(hwnd(), kIdSettingsResizeSwitch))
        SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool SettingsWindow::resizeSwitch() const {
    return IsDlgButtonChecked(hwnd(), kIdSettingsResizeSwitch) == BST_CHECKED;
}

void SettingsWindow::enableResizeControls(bool on) {
    for (int id = 1042; id <= 1046; ++id)
        if (HWND control = GetDlgItem(hwnd(), id)) EnableWindow(control, on);
}

bool SettingsWindow::alwaysOnTop() const {
    return (GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void SettingsWindow::toggleAlwaysOnTop() {
    SetWindowPos(hwnd(), alwaysOnTop() ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOSENDCHANGING);
}

void SettingsWindow::markAlwaysOnTopItem(HMENU menu) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = alwaysOnTop() ? MFS_CHECKED : 0;
    SetMenuItemInfoW(menu, kIdAlwaysOnTop, FALSE, &item);
}

LRESULT SettingsWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            buildSystemMenu();
            buildControls();
            return 0;
        case WM_PAINT:
            paintBackground();
            return 0;
        case WM_CLOSE:
            app_.dispatchCommand(kIdSettingsConfirm);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) app_.dispatchCommand(LOWORD(wParam));
            return 0;
        case WM_SYSCOMMAND:
            if (wParam == static_cast<WPARAM>(kIdAlwaysOnTop)) {
                toggleAlwaysOnTop();
                return 0;
            }
            break;
        case WM_NCLBUTTONDBLCLK:
            toggleAlwaysOnTop();
            return 0;
        case WM_INITMENUPOPUP:
            markAlwaysOnTopItem(reinterpret_cast<HMENU>(wParam));
            break;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_NCMBUTTONDOWN:
            SetFocus(hwnd());
            break;
        case WM_DROPFILES:
            app_.dropFiles(reinterpret_cast<HDROP>(wParam));
            return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace app
