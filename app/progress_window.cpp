#include "app/progress_window.h"

#include <commctrl.h>
#include <shobjidl.h>

#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/failure_words.h"
#include "app/language_library.h"
#include "app/shell.h"
#include "lang/resource_ids.h"

namespace app {

namespace {

constexpr int kClientWidth = 440;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 96;
constexpr int kBarHeight = 18;
constexpr int kListLines = 10;
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

HWND createChild(HWND parent, const wchar_t* className, DWORD style, DWORD exStyle, int id,
                 HFONT font) {
    HWND child = CreateWindowExW(
        exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (child && font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

}  // namespace

ProgressWindow::ProgressWindow(Shell& app, std::function<void()> onCancel,
                               std::function<void()> onClose)
    : app_(app), onCancel_(std::move(onCancel)), onClose_(std::move(onClose)) {}

ProgressWindow::~ProgressWindow() {
    close();
}

bool ProgressWindow::open(HWND owner, bool ownButton) {
    if (exists()) return true;
    listing_ = false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    cancelling_ = false;
    // Room for the two lines, the bar and the button, measured in the UI font.
    if (HDC dc = GetDC(nullptr)) {
        HGDIOBJ old = SelectObject(dc, app_.designFont());
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        if (metrics.tmHeight > 0) lineHeight_ = metrics.tmHeight + 7;
    }
    const DWORD exStyle = kExStyle | (ownButton ? WS_EX_APPWINDOW : 0);
    if (!Window::create(app_.instance(), kClassName, exStyle, kStyle, kClientWidth, 100, kStyle,
                        exStyle, owner))
        return false;
    SetWindowTextW(hwnd(), app_.language().text(IDS_PROGRESS_CAPTION));
    layOut();
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    UpdateWindow(hwnd());
    // The taskbar button's progress: the owner's button, or this window's own.
    taskbarWindow_ = ownButton ? hwnd() : owner;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar_))) &&
        FAILED(taskbar_->HrInit())) {
        taskbar_->Release();
        taskbar_ = nullptr;
    }
    return true;
}

void ProgressWindow::close() {
    if (taskbar_) {
        taskbar_->SetProgressState(taskbarWindow_, TBPF_NOPROGRESS);
        taskbar_->Release();
        taskbar_ = nullptr;
    }
    if (exists()) DestroyWindow(hwnd());
    listing_ = false;
}

void ProgressWindow::createControls() {
    const HFONT font = app_.uiFont();
    createChild(hwnd(), L"STATIC", SS_LEFT | SS_NOPREFIX, 0, kIdProgressCount, font);
    createChild(hwnd(), L"STATIC", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0, kIdProgressFile,
                font);
    createChild(hwnd(), PROGRESS_CLASSW, PBS_SMOOTH, 0, kIdProgressBar, font);
    // The list is a tab stop so that it scrolls from the keyboard.
    createChild(hwnd(), L"EDIT",
                ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                    WS_HSCROLL | WS_TABSTOP,
                WS_EX_CLIENTEDGE, kIdProgressFailures, font);
    HWND button = createChild(hwnd(), L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, IDCANCEL, font);
    SetWindowTextW(button, app_.language().text(IDS_PROGRESS_CANCEL));
    ShowWindow(GetDlgItem(hwnd(), kIdProgressFailures), SW_HIDE);
}

// Running: count, file, bar, Cancel. Listing: summary, the list, Close.
// Places are worked out at 96 DPI and scaled for the window's DPI.
void ProgressWindow::layOut() {
    const int dpi = app_.uiDpi();
    const auto move = [&](HWND control, int x, int top, int width, int height) {
        const RECT box = scaleForDpi(RECT{x, top, x + width, top + height}, dpi);
        MoveWindow(control, box.left, box.top, box.right - box.left, box.bottom - box.top, FALSE);
    };
    const int width = kClientWidth - 2 * kMargin;
    const int buttonHeight = lineHeight_ + 2;
    int y = kMargin;
    auto place = [&](int id, int height) {
        move(GetDlgItem(hwnd(), id), kMargin, y, width, height);
        y += height + 6;
    };
    if (!listing_) {
        place(kIdProgressCount, lineHeight_);
        place(kIdProgressFile, lineHeight_);
        place(kIdProgressBar, kBarHeight);
    } else {
        place(kIdProgressCount, 2 * lineHeight_);
        place(kIdProgressFailures, kListLines * (lineHeight_ - 7) + 8);
    }
    y += 4;
    HWND button = GetDlgItem(hwnd(), listing_ ? IDOK : IDCANCEL);
    move(button, kClientWidth - kMargin - kButtonWidth, y, kButtonWidth, buttonHeight);
    const int clientHeight = y + buttonHeight + kMargin;
    const RECT frame =
        windowRectForClient(scaleForDpi(kClientWidth, dpi), scaleForDpi(clientHeight, dpi), kStyle,
                            GetWindowLongW(hwnd(), GWL_EXSTYLE), dpi);
    SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void ProgressWindow::update(uint32_t done, uint32_t total, const wchar_t* currentFile) {
    if (!exists() || listing_) return;
    SetDlgItemTextW(hwnd(), kIdProgressCount,
                    fillIn(app_.language().text(IDS_PROGRESS_COUNT), std::to_wstring(done),
                           std::to_wstring(total))
                        .c_str());
    if (!cancelling_) SetDlgItemTextW(hwnd(), kIdProgressFile, currentFile ? currentFile : L"");
    HWND bar = GetDlgItem(hwnd(), kIdProgressBar);
    // The bar counts in thousandths, whatever the number of files.
    const uint32_t permille = total ? static_cast<uint32_t>(uint64_t{done} * 1000 / total) : 0;
    SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
    SendMessageW(bar, PBM_SETPOS, permille, 0);
    setTaskbar(done, total);
}

void ProgressWindow::setTaskbar(uint32_t done, uint32_t total) {
    if (!taskbar_ || !taskbarWindow_) return;
    taskbar_->SetProgressState(taskbarWindow_, TBPF_NORMAL);
    taskbar_->SetProgressValue(taskbarWindow_, done, total ? total : 1);
}

void ProgressWindow::showCancelling() {
    cancelling_ = true;
    if (!exists()) return;
    SetDlgItemTextW(hwnd(), kIdProgressFile, app_.language().text(IDS_PROGRESS_CANCELLING));
    EnableWindow(GetDlgItem(hwnd(), IDCANCEL), FALSE);
}

void ProgressWindow::listFailures(uint32_t converted, uint32_t total, const std::wstring& lines) {
    if (!exists()) return;
    listing_ = true;
    if (taskbar_) taskbar_->SetProgressState(taskbarWindow_, TBPF_NOPROGRESS);
    SetWindowTextW(hwnd(), app_.language().text(IDS_PROGRESS_DONE_CAPTION));
    ShowWindow(GetDlgItem(hwnd(), kIdProgressFile), SW_HIDE);
    ShowWindow(GetDlgItem(hwnd(), kIdProgressBar), SW_HIDE);
    HWND button = GetDlgItem(hwnd(), IDCANCEL);
    SetWindowLongPtrW(button, GWLP_ID, IDOK);
    SetWindowTextW(button, app_.language().text(IDS_PROGRESS_CLOSE));
    EnableWindow(button, TRUE);
    SetDlgItemTextW(hwnd(), kIdProgressCount,
                    fillIn(app_.language().text(IDS_PROGRESS_FAILURES), std::to_wstring(converted),
                           std::to_wstring(total))
                        .c_str());
    HWND list = GetDlgItem(hwnd(), kIdProgressFailures);
    SetWindowTextW(list, lines.c_str());
    ShowWindow(list, SW_SHOW);
    layOut();
    SetFocus(button);
}

LRESULT ProgressWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_PAINT:
            paintBackground();
            return 0;
        case WM_CTLCOLORSTATIC:
            // The read-only list on a white ground like any list; labels on the face colour.
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(hwnd(), kIdProgressFailures)) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_CLOSE:
            if (listing_) {
                if (onClose_) onClose_();
            } else if (!cancelling_ && onCancel_) {
                onCancel_();
            }
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) break;
            // Esc (IDCANCEL from the dialog manager) is the close box.
            if (LOWORD(wParam) == IDCANCEL || (LOWORD(wParam) == IDOK && listing_))
                SendMessageW(hwnd(), WM_CLOSE, 0, 0);
            return 0;
        case WM_NEXTDLGCTL:
            // The multi-line list asks for the next control on Tab.
            if (!LOWORD(lParam))
                if (HWND next = GetNextDlgTabItem(hwnd(), GetFocus(), wParam != 0)) SetFocus(next);
            return 0;
        case WM_DPICHANGED:
            app_.dpiChanged(HIWORD(wParam));
            for (HWND child = GetWindow(hwnd(), GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT))
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(app_.uiFont()), FALSE);
            moveToSuggested(lParam);
            layOut();
            icons_.apply(hwnd(), app_.instance(), HIWORD(wParam));
            return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace app
