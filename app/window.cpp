#include "app/window.h"

#include "app/dpi.h"

namespace app {

namespace {
constexpr int kProgramIcon = 100;
}

Window::~Window() {
    if (hwnd_) {
        // The object goes first: the window must not reach it any more.
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Window::registerClass(HINSTANCE instance, const wchar_t* className) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className;
    if (RegisterClassExW(&windowClass)) return true;
    // A second application object in one process (tests) finds it registered.
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::create(HINSTANCE instance, const wchar_t* className, DWORD exStyle, DWORD style,
                    int clientWidth, int clientHeight, DWORD frameStyle, DWORD frameExStyle,
                    HWND owner) {
    const int dpi = dpiOf(nullptr);
    const RECT frame =
        windowRectForClient(scaleForDpi(clientWidth, dpi), scaleForDpi(clientHeight, dpi),
                            frameStyle, frameExStyle, dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = (work.left + work.right - width) >> 1;
    const int y = (work.top + work.bottom - height) >> 1;
    return CreateWindowExW(exStyle, className, L"Moravel", style, x, y, width, height, owner,
                           nullptr, instance, this) != nullptr;
}

void Window::resizeForDpi(int clientWidth, int clientHeight, DWORD frameStyle, DWORD frameExStyle,
                          int dpi) {
    const RECT frame =
        windowRectForClient(scaleForDpi(clientWidth, dpi), scaleForDpi(clientHeight, dpi),
                            frameStyle, frameExStyle, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::moveToSuggested(LPARAM suggested) {
    const RECT& place = *reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(hwnd_, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::paintBackground() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    RECT client;
    GetClientRect(hwnd_, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    EndPaint(hwnd_, &paint);
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* window = static_cast<Window*>(create->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        window->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return window->handleMessage(message, wParam, lParam);
}

HWND createButton(HWND parent, int id, DWORD kindStyle, int x, int y, int width, int height,
                  const wchar_t* caption, HFONT font) {
    HWND button = CreateWindowExW(
        0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | kindStyle, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (button && font) SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return button;
}

}  // namespace app
