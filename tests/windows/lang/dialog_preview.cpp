// Developer tool for scripts/screenshot-dialogs.sh (not a test): shows what a
// language library looks like on screen, then closes itself.
//
//   dialog_preview.exe LIBRARY.dll options|plugins|windows|error 9|11 [milliseconds]
//   dialog_preview.exe PROGRAM.exe program 0 [milliseconds]
//
// options, plugins: the dialog template at that point size, as the program
// patches it, with sample content.  windows: the convert and settings
// windows' controls at the pixel positions the program uses, with the UI font
// (-12 for 9 pt, -14 for 11 pt).  error: error box 30002.  program: runs
// the real program without files (its settings window shows) and ends it
// afterwards without letting it save its settings.
// <windows.h> comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "lang/resource_ids.h"

namespace {

HMODULE gLibrary = nullptr;
HFONT gFont = nullptr;
UINT gCloseAfter = 5000;

std::wstring text(UINT id) {
    wchar_t buffer[260] = {};
    int length = LoadStringW(gLibrary, id, buffer, 260);
    return std::wstring(buffer, length > 0 ? length : 0);
}

INT_PTR CALLBACK previewDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            if (HWND list = GetDlgItem(dialog, IDC_LANGUAGE_LIST)) {
                SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"English"));
                SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Japanese"));
                SendMessageW(list, CB_SETCURSEL, 1, 0);
                CheckDlgButton(dialog, IDC_LARGE_FONT, BST_CHECKED);
            }
            if (HWND list = GetDlgItem(dialog, IDC_PLUGIN_LIST)) {
                SetDlgItemTextW(dialog, IDC_PLUGIN_FOLDER, L"C:\\Users\\Public\\Plug-ins");
                ListView_SetExtendedListViewStyle(
                    list, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
                RECT client;
                GetClientRect(list, &client);
                const int widths[] = {100, 135, static_cast<int>(client.right) - 235};
                for (int i = 0; i < 3; ++i) {
                    std::wstring heading = text(IDS_PLUGIN_COLUMN_FILE + i);
                    LVCOLUMNW column = {};
                    column.mask = LVCF_TEXT | LVCF_WIDTH;
                    column.cx = widths[i];
                    column.pszText = heading.data();
                    ListView_InsertColumn(list, i, &column);
                }
                const wchar_t* rows[][3] = {{L"ifjp2.spi", L"*.jp2;*.j2k", L"JPEG 2000"},
                                            {L"ifpcx.spi", L"*.pcx", L"PC Paintbrush"},
                                            {L"iftga.spi", L"*.tga", L"Targa"}};
                for (int r = 0; r < 3; ++r) {
                    LVITEMW item = {};
                    item.mask = LVIF_TEXT;
                    item.iItem = r;
                    item.pszText = const_cast<wchar_t*>(rows[r][0]);
                    ListView_InsertItem(list, &item);
                    ListView_SetItemText(list, r, 1, const_cast<wchar_t*>(rows[r][1]));
                    ListView_SetItemText(list, r, 2, const_cast<wchar_t*>(rows[r][2]));
                    ListView_SetCheckState(list, r, r != 1);
                }
            }
            SetTimer(dialog, 1, gCloseAfter, nullptr);
            return TRUE;
        }
        case WM_TIMER:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
            return TRUE;
    }
    return FALSE;
}

int showDialog(UINT id, int pointSize) {
    HRSRC found = FindResourceW(gLibrary, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!found) return 3;
    auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(gLibrary, found)));
    std::span<const uint8_t> view(bytes, SizeofResource(gLibrary, found));
    auto parsed = langtest::readDialogTemplate(view);
    if (!parsed) return 3;
    std::vector<uint8_t> copy(view.begin(), view.begin() + parsed->totalSize);
    copy[parsed->pointSizeOffset] = static_cast<uint8_t>(pointSize);
    copy[parsed->pointSizeOffset + 1] = 0;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                            reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr, previewDialog,
                            0);
    return 0;
}

// ---- The two windows' controls at the program's pixel positions.

struct Metrics {
    int h, ch, bh, sb, ck, d;
};

int textWidth(HDC dc, const std::wstring& s) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &size);
    return size.cx;
}

HWND add(HWND parent, const wchar_t* cls, const std::wstring& caption, DWORD style, int x, int y,
         int w, int h, int id, DWORD exStyle = 0) {
    HWND control = CreateWindowExW(
        exStyle, cls, caption.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), FALSE);
    return control;
}

void buildConvertWindow(HWND window) {
    const struct {
        int id, x, y, w, h;
        DWORD style;
    } buttons[] = {{1000, 10, 10, 64, 24, BS_PUSHBUTTON},  {1001, 79, 10, 64, 24, BS_PUSHBUTTON},
                   {1003, 148, 10, 64, 24, BS_PUSHBUTTON}, {1002, 10, 39, 64, 24, BS_PUSHBUTTON},
                   {1004, 79, 39, 133, 24, BS_PUSHBUTTON}, {1005, 13, 77, 106, 15, BS_AUTOCHECKBOX},
                   {1006, 127, 73, 85, 24, BS_PUSHBUTTON}};
    for (const auto& b : buttons)
        add(window, L"BUTTON", text(b.id), b.style, b.x, b.y, b.w, b.h, b.id);
}

void buildSettingsWindow(HWND window) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, gFont);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    Metrics m = {tm.tmHeight,
                 tm.tmHeight + 7,
                 tm.tmHeight + 9,
                 GetSystemMetrics(SM_CXVSCROLL),
                 GetSystemMetrics(SM_CXMENUCHECK) + 8,
                 tm.tmInternalLeading < 1 ? 1 : 0};
    auto tw = [&](UINT id) { return textWidth(dc, text(id)); };
    auto twText = [&](const wchar_t* s) { return textWidth(dc, s); };
    const DWORD label = SS_CENTERIMAGE | SS_ENDELLIPSIS;
    const DWORD check = BS_AUTOCHECKBOX;
    const DWORD list = CBS_DROPDOWNLIST | WS_VSCROLL;

    add(window, L"STATIC", text(1010), label, 15, 18, tw(1010) + 2 * m.ch, m.ch, 1010);
    HWND modes = add(window, L"COMBOBOX", L"", list, tw(1010) + 18, 17,
                     m.sb + std::max(tw(21000), tw(21005)) + 10, 400, 1011);
    for (UINT id = 21000; id <= 21005; ++id) {
        SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text(id).c_str()));
    }
    SendMessageW(modes, CB_SETCURSEL, 5, 0);
    add(window, L"BUTTON", text(1070), BS_GROUPBOX, 243, 5, 258, 48, 1070, WS_EX_TRANSPARENT);
    add(window, L"BUTTON", text(1071), check, 253, 25 - m.d, tw(1071) + m.ck, m.ch, 1071);

    add(window, L"BUTTON", text(1020), BS_GROUPBOX, 5, 58, 496, 48, 1020, WS_EX_TRANSPARENT);
    const int t = tw(1021), u = twText(L"000"), v = tw(1024), w = twText(L"4:1") + m.sb + 10;
    const int c = tw(1027) + m.ck, B = twText(L"0000"), C = twText(L"KB") + 2;
    const int T = twText(L"4:1") + t + u + v + B + C + c + 3 * m.sb + 42;
    int x = 15, D = 0;
    if (T <= 486) {
        D = (476 - T) / 2;
    } else if (T > 496) {
        x = 5;
    } else {
        D = (496 - T) / 4;
        x = D + 5;
    }
    add(window, L"STATIC", text(1021), label, x, 78, t + 2, m.ch, 1021);
    HWND quality = add(window, L"EDIT", L"75", ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL, x + t + 3, 78,
                       u + m.sb + 10, m.ch, 1022, WS_EX_CLIENTEDGE);
    CreateUpDownControl(
        WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
        0, 0, 0, 0, window, 1023, GetModuleHandleW(nullptr), quality, 100, 1, 75);
    const int subsamplingX = x + t + m.sb + u + D + 13;
    add(window, L"STATIC", text(1024), label, subsamplingX, 78, v + 2, m.ch, 1024);
    HWND sampling = add(window, L"COMBOBOX", L"", list, subsamplingX + v + 3, 77, w, 400, 1025);
    SendMessageW(sampling, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"4:1"));
    SendMessageW(sampling, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"1:1"));
    SendMessageW(sampling, CB_SETCURSEL, 0, 0);
    const int checkX = subsamplingX + v + 3 + w + D;
    add(window, L"BUTTON", text(1027), check, checkX, 78 - m.d, c, m.ch, 1027);
    HWND limit = add(window, L"EDIT", L"100", ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL, checkX + c + 1,
                     78, m.sb + B + 10, m.ch, 1028, WS_EX_CLIENTEDGE);
    CreateUpDownControl(
        WS_CHILD | WS_VISIBLE | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
        0, 0, 0, 0, window, 1029, GetModuleHandleW(nullptr), limit, 32767, 1, 100);
    add(window, L"STATIC", L"KB", label, checkX + c + 1 + m.sb + B + 10 + 3, 78, C, m.ch, 1030);

    add(window, L"BUTTON", text(1040), BS_GROUPBOX, 5, 111, 496, 48, 1040, WS_EX_TRANSPARENT);
    const int switchWidth = tw(1041) + m.ck;
    add(window, L"BUTTON", text(1041), check, 15, 131 - m.d, switchWidth, m.ch, 1041);
    int radioX = switchWidth + 31;
    for (UINT id = 1042; id <= 1044; ++id) {
        int width = tw(id) + m.ck;
        add(window, L"BUTTON", text(id), BS_AUTORADIOBUTTON | (id == 1042 ? WS_GROUP : 0), radioX,
            131 - m.d, width, m.ch, id);
        radioX += width + 4;
    }
    const int targetX = radioX - 4 + 8, targetWidth = twText(L"0000") + 15;
    add(window, L"EDIT", L"1600", ES_AUTOHSCROLL, targetX, 131, targetWidth, m.ch, 1045,
        WS_EX_CLIENTEDGE);
    add(window, L"STATIC", text(1046), label, targetX + targetWidth + 3, 131, tw(1046) + 2, m.ch,
        1046);

    add(window, L"BUTTON", text(1050), BS_GROUPBOX, 5, 164, 496, 75, 1050, WS_EX_TRANSPARENT);
    add(window, L"EDIT", text(1053), ES_READONLY | ES_AUTOHSCROLL, 15, 184, 368, m.ch, 1053,
        WS_EX_CLIENTEDGE);
    add(window, L"BUTTON", text(1051), BS_PUSHBUTTON, 383, 183, 54, m.bh, 1051);
    add(window, L"BUTTON", text(1052), BS_PUSHBUTTON, 437, 183, 54, m.bh, 1052);
    const int subWidth = tw(1054) + m.ck;
    add(window, L"BUTTON", text(1054), check, 15, 211, subWidth, m.ch, 1054);
    add(window, L"EDIT", L"Output", ES_AUTOHSCROLL, subWidth + 18, 211, 200, m.ch, 1055,
        WS_EX_CLIENTEDGE);
    add(window, L"BUTTON", text(1060), check, 15, 248 - m.d, tw(1060) + m.ck, m.ch, 1060);
    add(window, L"BUTTON", text(1090), BS_PUSHBUTTON, 15, 280, 120, m.bh, 1090);
    add(window, L"BUTTON", text(1091), BS_PUSHBUTTON, 236, 280, 120, m.bh, 1091);
    add(window, L"BUTTON", text(1092), BS_PUSHBUTTON, 366, 280, 70, m.bh, 1092);
    add(window, L"BUTTON", text(1093), BS_PUSHBUTTON, 446, 280, 50, m.bh, 1093);
    CheckDlgButton(window, 1041, BST_CHECKED);
    CheckDlgButton(window, 1044, BST_CHECKED);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK previewWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
            EndPaint(window, &paint);
            return 0;
        }
        case WM_TIMER:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createFrame(const wchar_t* cls, int x, int y, int clientWidth, int clientHeight) {
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    return CreateWindowExW(WS_EX_DLGMODALFRAME, cls, L"Moravel", style, x, y,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

int showWindows(int fontHeight) {
    std::wstring face = text(IDS_UI_FONT_FACE);
    LOGFONTW font = {};
    font.lfHeight = fontHeight;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    gFont = CreateFontIndirectW(&font);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = previewWindow;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(100), IMAGE_ICON,
                                      0, 0, LR_SHARED | LR_DEFAULTSIZE));
    windowClass.lpszClassName = L"Preview";
    RegisterClassExW(&windowClass);

    HWND settings = createFrame(L"Preview", 20, 20, 506, 314);
    buildSettingsWindow(settings);
    HWND convert = createFrame(L"Preview", 560, 20, 222, 107);
    buildConvertWindow(convert);
    ShowWindow(settings, SW_SHOW);
    ShowWindow(convert, SW_SHOW);
    SetTimer(settings, 1, gCloseAfter, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(gFont);
    return 0;
}

void CALLBACK closeMessageBox(HWND, UINT, UINT_PTR, DWORD) {
    if (HWND box = FindWindowW(L"#32770", nullptr)) PostMessageW(box, WM_CLOSE, 0, 0);
}

}  // namespace

// Starts the program, leaves it on screen, then ends that process.
int showProgram(const wchar_t* program) {
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return 3;
    }
    bool exitedEarly = WaitForSingleObject(process.hProcess, gCloseAfter) == WAIT_OBJECT_0;
    if (!exitedEarly) TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitedEarly ? 3 : 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    if (argc > 4) gCloseAfter = static_cast<UINT>(_wtoi(argv[4]));
    if (std::wstring(argv[2]) == L"program") return showProgram(argv[1]);
    gLibrary = LoadLibraryW(argv[1]);
    if (!gLibrary) return 3;
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    std::wstring what = argv[2];
    int pointSize = _wtoi(argv[3]) == 11 ? 11 : 9;
    int result = 2;
    if (what == L"options") {
        result = showDialog(IDD_OPTIONS, pointSize);
    } else if (what == L"plugins") {
        result = showDialog(IDD_PLUGINS, pointSize);
    } else if (what == L"windows") {
        result = showWindows(pointSize == 11 ? -14 : -12);
    } else if (what == L"error") {
        SetTimer(nullptr, 0, gCloseAfter, closeMessageBox);
        result = MessageBoxW(nullptr, text(IDS_ERROR_NOTHING_CONVERTED).c_str(),
                             text(IDS_ERROR_TITLE).c_str(), MB_ICONERROR | MB_SETFOREGROUND)
                     ? 0
                     : 3;
    }
    FreeLibrary(gLibrary);
    return result;
}
