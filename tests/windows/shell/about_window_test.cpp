// The About window under Wine: layout, texts, the link's look and action,
// and the modal behaviour towards its owner.
#include "app/about_window.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"
#include "tests/windows/shell/shell_test_support.h"

namespace {

HINSTANCE instance() {
    return GetModuleHandleW(nullptr);
}

// A plain top-level window standing in for the settings window.
class OwnerWindow {
  public:
    OwnerWindow() {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance();
        windowClass.lpszClassName = L"moravel_test_owner";
        RegisterClassExW(&windowClass);
        window_ =
            CreateWindowExW(0, L"moravel_test_owner", L"Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            101, 57, 506, 314, nullptr, nullptr, instance(), nullptr);
        font_ =
            CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    }
    ~OwnerWindow() {
        DestroyWindow(window_);
        DeleteObject(font_);
        UnregisterClassW(L"moravel_test_owner", instance());
    }
    HWND window() const { return window_; }
    HFONT font() const { return font_; }

  private:
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
};

void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

std::wstring textOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

bool classRegistered(const wchar_t* name) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    return GetClassInfoExW(instance(), name, &info) != FALSE;
}

std::wstring openedAddress;
int openCalls = 0;
bool recordOpen(const wchar_t* address) {
    ++openCalls;
    openedAddress = address;
    return true;
}

// The About window of a program whose manual pages lie beside it, and of a
// build that names no web address.
app::AboutWindowArgs argsFor(const OwnerWindow& owner,
                             const wchar_t* program = L"C:\\no-such-folder\\Pirex.exe") {
    app::AboutWindowArgs args;
    args.programPath = program;
    args.webAddress = L"";
    args.instance = instance();
    args.owner = owner.window();
    args.caption = L"About Moravel";
    args.font = owner.font();
    args.openAddress = recordOpen;
    return args;
}

// The link control drawn into a 24-bit bitmap: counts of pure-blue pixels and
// of pixels in the button-face colour.
struct LinkPixels {
    int blue = 0;
    int face = 0;
    int other = 0;
};

LinkPixels renderLink(HWND link) {
    RECT client;
    GetClientRect(link, &client);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // Anything not painted by the control stays this colour.
    RECT all = {0, 0, client.right, client.bottom};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    DeleteObject(red);
    SendMessageW(link, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();

    LinkPixels pixels;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const auto* p = static_cast<const uint8_t*>(bits);
    for (int i = 0; i < client.right * client.bottom; ++i, p += 4) {
        const COLORREF colour = RGB(p[2], p[1], p[0]);
        if (colour == RGB(0, 0, 255))
            ++pixels.blue;
        else if (colour == face)
            ++pixels.face;
        else
            ++pixels.other;
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

TEST(AboutWindow, LayoutTextsLinkAndModalBehaviour) {
    OwnerWindow owner;
    ASSERT_NE(owner.window(), nullptr);
    openCalls = 0;
    TempFolder folder;
    const ProgramWithManual release(folder.path());

    HWND frame = app::showAboutWindow(argsFor(owner, release.program.c_str()));
    ASSERT_NE(frame, nullptr);
    pumpMessages();
    EXPECT_TRUE(classRegistered(app::kAboutFrameClass));
    EXPECT_TRUE(classRegistered(app::kAboutLinkClass));

    // Modal towards the owner.
    EXPECT_FALSE(IsWindowEnabled(owner.window()));
    EXPECT_EQ(GetWindow(frame, GW_OWNER), owner.window());
    EXPECT_EQ(textOf(frame), L"About Moravel");

    // Frame: styles, size from the system metrics, centred on the owner.
    EXPECT_EQ(GetWindowLongW(frame, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);
    const LONG style = GetWindowLongW(frame, GWL_STYLE);
    EXPECT_EQ(style & (WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU),
              WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    RECT ownerRect, frameRect;
    GetWindowRect(owner.window(), &ownerRect);
    GetWindowRect(frame, &frameRect);
    const int width = 274 + 2 * GetSystemMetrics(SM_CYDLGFRAME);
    const int height = GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME) + 75;
    EXPECT_EQ(frameRect.right - frameRect.left, width);
    EXPECT_EQ(frameRect.bottom - frameRect.top, height);
    EXPECT_EQ(frameRect.left, (ownerRect.left + ownerRect.right - width) >> 1);
    EXPECT_EQ(frameRect.top, (ownerRect.top + ownerRect.bottom - height) >> 1);

    // System menu: only moving and closing are left.
    HMENU systemMenu = GetSystemMenu(frame, FALSE);
    for (UINT gone : {SC_RESTORE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
        EXPECT_EQ(GetMenuState(systemMenu, gone, MF_BYCOMMAND), UINT(-1)) << std::hex << gone;
    EXPECT_NE(GetMenuState(systemMenu, SC_CLOSE, MF_BYCOMMAND), UINT(-1));

    // The three lines: ids, class, place, size, text, font.
    struct Line {
        int id;
        const wchar_t* className;
        int top;
        std::wstring text;
    };
    const Line lines[] = {
        {100, L"Static", 7, L"Moravel version 2.7.3.0 (64-bit)"},
        {101, L"Static", 27, L""},
        {102, app::kAboutLinkClass, 47, release.page},
    };
    for (const Line& line : lines) {
        SCOPED_TRACE(line.id);
        HWND control = GetDlgItem(frame, line.id);
        ASSERT_NE(control, nullptr);
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        EXPECT_EQ(_wcsicmp(className, line.className), 0) << className;
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 12);
        EXPECT_EQ(rect.top, line.top);
        EXPECT_EQ(rect.right - rect.left, 250);
        EXPECT_EQ(rect.bottom - rect.top, 20);
        if (!line.text.empty()) {
            EXPECT_EQ(textOf(control), line.text);
        }
        if (line.id != 102) {
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                      owner.font());
            EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & (SS_CENTERIMAGE | SS_ENDELLIPSIS),
                      SS_CENTERIMAGE | SS_ENDELLIPSIS);
        }
    }
    EXPECT_FALSE(textOf(GetDlgItem(frame, 101)).empty()) << "the notice line has a text";

    // The link: hand cursor, blue text on the button face, opens the home page.
    HWND link = GetDlgItem(frame, 102);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(link, GCLP_HCURSOR)),
              LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(frame, GCLP_HCURSOR)),
              LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
    const LinkPixels pixels = renderLink(link);
    EXPECT_GT(pixels.blue, 20) << "the address is drawn in pure blue";
    EXPECT_GT(pixels.face, 250 * 20 / 2) << "on the button face";
    SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(openCalls, 1);
    EXPECT_EQ(openedAddress, release.page);

    // A second request while it is open brings the same window forward.
    EXPECT_EQ(app::showAboutWindow(argsFor(owner)), frame);

    // Esc where the keyboard focus is closes it; the owner comes back.
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == frame || IsChild(frame, focus)) << focus;
    PostMessageW(focus != nullptr ? focus : frame, WM_KEYDOWN, VK_ESCAPE, 0);
    pumpMessages();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_TRUE(IsWindowEnabled(owner.window()));
    EXPECT_EQ(GetForegroundWindow(), owner.window());
    EXPECT_FALSE(classRegistered(app::kAboutFrameClass)) << "classes go with the window";
    EXPECT_FALSE(classRegistered(app::kAboutLinkClass));
}

// The build's web address when it names one; else the manual page beside the
// program, which the shell really opens; else no link at all.
TEST(AboutWindow, LinkLeadsToTheWebAddressElseTheManualPageElseNowhere) {
    OwnerWindow owner;
    TempFolder folder;
    const std::wstring bare = (folder.path() / "Pirex.exe").wstring();
    struct Case {
        const wchar_t* webAddress;
        bool manual;
        std::wstring link;
    };
    const std::wstring page = (folder.path() / "manual" / "index.html").wstring();
    const Case cases[] = {
        {L"", false, L""},
        {L"https://moravel.invalid/", false, L"https://moravel.invalid/"},
        {L"", true, page},
        {L"https://moravel.invalid/", true, L"https://moravel.invalid/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        if (c.manual) ProgramWithManual{folder.path()};
        openCalls = 0;
        app::AboutWindowArgs args = argsFor(owner, bare.c_str());
        args.webAddress = c.webAddress;
        HWND frame = app::showAboutWindow(args);
        ASSERT_NE(frame, nullptr);
        HWND link = GetDlgItem(frame, 102);
        EXPECT_EQ(textOf(link), c.link);
        SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        EXPECT_EQ(openCalls, c.link.empty() ? 0 : 1);
        if (!c.link.empty()) {
            EXPECT_EQ(openedAddress, c.link);
        }
        SendMessageW(frame, WM_CLOSE, 0, 0);
    }

    RecordingPageViewer viewer(folder.path() / "opened.txt");
    ASSERT_TRUE(viewer.ok());
    app::AboutWindowArgs args = argsFor(owner, bare.c_str());
    args.openAddress = app::openAddressWithShell;
    HWND frame = app::showAboutWindow(args);
    ASSERT_NE(frame, nullptr);
    SendMessageW(GetDlgItem(frame, 102), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(viewer.openedPath(), page);
    SendMessageW(frame, WM_CLOSE, 0, 0);
}

TEST(AboutWindow, OpensAgainAfterClosingAndEscFromTheLinkCloses) {
    OwnerWindow owner;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        HWND frame = app::showAboutWindow(argsFor(owner));
        ASSERT_NE(frame, nullptr);
        EXPECT_FALSE(IsWindowEnabled(owner.window()));
        // Esc reaches the link when the user clicked it first.
        SendMessageW(GetDlgItem(frame, 102), WM_KEYDOWN, VK_ESCAPE, 0);
        pumpMessages();
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_TRUE(IsWindowEnabled(owner.window()));
    }
}

TEST(AboutWindow, CloseBoxBehavesLikeEsc) {
    OwnerWindow owner;
    HWND frame = app::showAboutWindow(argsFor(owner));
    ASSERT_NE(frame, nullptr);
    SendMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    pumpMessages();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_TRUE(IsWindowEnabled(owner.window()));
}

TEST(AboutWindow, DestroyedWithItsOwnerLeavesNothingThatBlocksTheNextOne) {
    HWND frame = nullptr;
    {
        OwnerWindow owner;
        frame = app::showAboutWindow(argsFor(owner));
        ASSERT_NE(frame, nullptr);
    }  // the owner goes first, taking the About window with it
    pumpMessages();
    EXPECT_FALSE(IsWindow(frame));
    OwnerWindow next;
    HWND again = app::showAboutWindow(argsFor(next));
    ASSERT_NE(again, nullptr);
    SendMessageW(again, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(next.window()));
}

}  // namespace
