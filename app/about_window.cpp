#include "app/about_window.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <new>

#include "app/dpi.h"
#include "version.h"

namespace app {

namespace {

constexpr wchar_t kVersionLine[] = L"Moravel version " MORAVEL_VERSION_WIDE L" (64-bit)";
constexpr wchar_t kNoticeLine[] = L"\u00a9 2026 the Moravel developers";

constexpr int kClientWidth = 274;
constexpr int kClientHeight = 75;
constexpr int kLineLeft = 12;
constexpr int kLineWidth = 250;
constexpr int kLineHeight = 20;

constexpr COLORREF kLinkColour = RGB(0, 0, 255);

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK linkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The state of the one open About window, kept with its frame
// (GWLP_USERDATA) and freed when the frame is gone.
class AboutWindow {
  public:
    explicit AboutWindow(const AboutWindowArgs& args) : args_(args) { findLinkTarget(); }

    static bool registerClasses(HINSTANCE instance);
    static void unregisterClasses(HINSTANCE instance);

    HWND create();
    // The frame is the first window created with this object.
    void attach(HWND window) {
        if (frame_ == nullptr) frame_ = window;
    }

    LRESULT onFrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onLinkMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void findLinkTarget();
    void createControls();
    void paintLink(HWND link, HDC dc) const;
    void close();

    AboutWindowArgs args_;
    wchar_t link_[MAX_PATH] = {};  // empty: nothing to open
    HWND frame_ = nullptr;
    bool ownedByFrame_ = false;
    int dpi_ = 96;  // the owner's, which the frame and its lines are scaled for
};

bool registerClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, int cursorId) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(cursorId));
    windowClass.lpszClassName = name;
    // A class left behind by a window destroyed with its owner is reused.
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool AboutWindow::registerClasses(HINSTANCE instance) {
    return registerClass(instance, kAboutFrameClass, frameProc, 32512 /* IDC_ARROW */) &&
           registerClass(instance, kAboutLinkClass, linkProc, 32649 /* IDC_HAND */);
}

void AboutWindow::unregisterClasses(HINSTANCE instance) {
    UnregisterClassW(kAboutLinkClass, instance);
    UnregisterClassW(kAboutFrameClass, instance);
}

void AboutWindow::findLinkTarget() {
    const wchar_t* address = args_.webAddress != nullptr ? args_.webAddress : L"";
    if (*address != L'\0') {
        if (std::wcslen(address) < MAX_PATH) std::wcscpy(link_, address);
        return;
    }
    wchar_t program[MAX_PATH] = {};
    if (args_.programPath != nullptr) {
        if (std::wcslen(args_.programPath) >= MAX_PATH) return;
        std::wcscpy(program, args_.programPath);
    } else {
        const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return;
    }
    wchar_t page[MAX_PATH];
    // A link to a page that is not there would only fail when clicked.
    if (manualPagePathFor(program, page) && PathFileExistsW(page)) std::wcscpy(link_, page);
}

HWND AboutWindow::create() {
    // Until the frame exists the caller owns this object; afterwards the
    // frame does and frees it on WM_NCDESTROY.
    dpi_ = dpiOf(args_.owner);
    const int frameWidth = systemMetricForDpi(SM_CYDLGFRAME, dpi_);
    const int width = scaleForDpi(kClientWidth, dpi_) + 2 * frameWidth;
    const int height =
        systemMetricForDpi(SM_CYCAPTION, dpi_) + 2 * frameWidth + scaleForDpi(kClientHeight, dpi_);
    RECT ownerRect = {};
    GetWindowRect(args_.owner, &ownerRect);
    const int left = (ownerRect.left + ownerRect.right - width) >> 1;
    const int top = (ownerRect.top + ownerRect.bottom - height) >> 1;
    HWND frame = CreateWindowExW(WS_EX_DLGMODALFRAME, kAboutFrameClass, args_.caption,
                                 WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU, left, top, width,
                                 height, args_.owner, nullptr, args_.instance, this);
    ownedByFrame_ = frame != nullptr;
    return frame;
}

void AboutWindow::createControls() {
    HMENU systemMenu = GetSystemMenu(frame_, FALSE);
    for (UINT command : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        DeleteMenu(systemMenu, command, MF_BYCOMMAND);

    struct Control {
        const wchar_t* className;
        const wchar_t* text;
        DWORD style;
        int id;
        int top;
    };
    const Control controls[] = {
        {L"STATIC", kVersionLine, SS_CENTERIMAGE | SS_ENDELLIPSIS, kAboutVersionLabelId, 7},
        {L"STATIC", kNoticeLine, SS_CENTERIMAGE | SS_ENDELLIPSIS, kAboutNoticeLabelId, 27},
        // The link is the window's one tab stop, when it leads somewhere.
        {kAboutLinkClass, link_, link_[0] != L'\0' ? DWORD{WS_TABSTOP} : 0, kAboutLinkId, 47},
    };
    for (const Control& control : controls) {
        const RECT box = scaleForDpi(
            RECT{kLineLeft, control.top, kLineLeft + kLineWidth, control.top + kLineHeight}, dpi_);
        HWND child = CreateWindowExW(
            0, control.className, control.text, WS_CHILD | WS_VISIBLE | control.style, box.left,
            box.top, box.right - box.left, box.bottom - box.top, frame_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), args_.instance, this);
        if (child != nullptr && args_.font != nullptr)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(args_.font), FALSE);
    }
}

void AboutWindow::paintLink(HWND link, HDC dc) const {
    // The whole control is drawn even for a partial repaint: the text is
    // centred in the control, not in whatever part became invalid.
    RECT client = {};
    GetClientRect(link, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLinkColour);
    HGDIOBJ previousFont = args_.font != nullptr ? SelectObject(dc, args_.font) : nullptr;
    wchar_t text[MAX_PATH];
    const int length = GetWindowTextW(link, text, MAX_PATH);
    // A long path to the manual keeps its start and its file name.
    DrawTextExW(dc, text, length, &client, DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS, nullptr);
    // The keyboard focus: a dotted frame around the text.
    if (GetFocus() == link && length > 0) {
        RECT box = client;
        DrawTextExW(dc, text, length, &box,
                    DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS | DT_CALCRECT, nullptr);
        const int height = box.bottom - box.top;
        box.top = (client.bottom - height) / 2;
        box.bottom = box.top + height;
        box.right = std::min(box.right + 1, client.right);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawFocusRect(dc, &box);
    }
    if (previousFont != nullptr) SelectObject(dc, previousFont);
}

void AboutWindow::close() {
    const HINSTANCE instance = args_.instance;
    // The owner comes back before the frame goes, so the focus returns to it
    // rather than to whatever window was behind.
    if (args_.owner != nullptr) {
        EnableWindow(args_.owner, TRUE);
        SetForegroundWindow(args_.owner);
    }
    // Frees this object (WM_NCDESTROY). A class can only be unregistered once
    // no window of it is left, so that happens here, after the frame is gone,
    // and not while the frame handles its own destruction.
    DestroyWindow(frame_);
    unregisterClasses(instance);
}

LRESULT AboutWindow::onFrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            createControls();
            return 0;
        case WM_ERASEBKGND: {
            RECT client = {};
            GetClientRect(window, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) {
                SendMessageW(window, WM_CLOSE, 0, 0);
                return 0;
            }
            break;
        case WM_SETFOCUS:
            // The keyboard goes to the link, the one control it can work.
            if (HWND link = GetDlgItem(window, kAboutLinkId); link && link_[0] != L'\0')
                SetFocus(link);
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (ownedByFrame_) delete this;
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT AboutWindow::onLinkMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            paintLink(window, dc);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_PRINTCLIENT:
            paintLink(window, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONUP:
            if (link_[0] != L'\0') args_.openAddress(link_);
            return 0;
        case WM_KEYDOWN:
            // Esc closes the window wherever the focus is; Enter and Space
            // open the link like a click.
            if (wParam == VK_ESCAPE) {
                SendMessageW(frame_, WM_CLOSE, 0, 0);
                return 0;
            }
            if ((wParam == VK_RETURN || wParam == VK_SPACE) && link_[0] != L'\0') {
                args_.openAddress(link_);
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(window, nullptr, FALSE);
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

template <LRESULT (AboutWindow::*handler)(HWND, UINT, WPARAM, LPARAM)>
LRESULT dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* about =
            static_cast<AboutWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(about));
        about->attach(window);
    }
    auto* about = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (about == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return (about->*handler)(window, message, wParam, lParam);
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return dispatch<&AboutWindow::onFrameMessage>(window, message, wParam, lParam);
}

LRESULT CALLBACK linkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return dispatch<&AboutWindow::onLinkMessage>(window, message, wParam, lParam);
}

}  // namespace

HWND showAboutWindow(const AboutWindowArgs& args) {
    // One at a time: an open About window of this program comes forward.
    for (HWND open = FindWindowExW(nullptr, nullptr, kAboutFrameClass, nullptr); open != nullptr;
         open = FindWindowExW(nullptr, open, kAboutFrameClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(open, &process);
        if (process == GetCurrentProcessId()) {
            SetForegroundWindow(open);
            return open;
        }
    }

    if (!AboutWindow::registerClasses(args.instance)) {
        AboutWindow::unregisterClasses(args.instance);
        return nullptr;
    }
    auto* about = new (std::nothrow) AboutWindow(args);
    if (about == nullptr) {
        AboutWindow::unregisterClasses(args.instance);
        return nullptr;
    }
    if (args.owner != nullptr) EnableWindow(args.owner, FALSE);
    HWND frame = about->create();
    if (frame == nullptr) {
        delete about;
        if (args.owner != nullptr) EnableWindow(args.owner, TRUE);
        AboutWindow::unregisterClasses(args.instance);
        return nullptr;
    }
    return frame;
}

}  // namespace app
