#include "app/settings_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "app/about_window.h"
#include "app/application.h"
#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/folder_chooser.h"
#include "app/options_dialog.h"
#include "app/shortcuts.h"
#include "app/text.h"
#include "platform/platform.h"

namespace app {

namespace {

// Texts the program names itself: the subsampling entries and the unit of
// the size limit; the digits only measure the number edits.
constexpr wchar_t kRatio41[] = L"4:1";
constexpr wchar_t kRatio11[] = L"1:1";
constexpr wchar_t kKilobytes[] = L"KB";
constexpr wchar_t kDigits3[] = L"000";
constexpr wchar_t kDigits4[] = L"0000";

constexpr int kStartModeFirstString = 21000;
constexpr int kStartModeCount = 6;
constexpr int kChooserTitleString = 20010;
constexpr int kAboutCaptionString = 20020;
constexpr int kNoOutputFolderString = 1053;

constexpr DWORD kLabel = SS_CENTERIMAGE | SS_ENDELLIPSIS;
// Every control the user works is a tab stop; the tab order is the creation
// order, which follows the layout top to bottom and left to right.
constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kNumberEdit = ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kPushButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kUpDown = UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;

// Controls whose caption is the language string of their own id.
constexpr int kCaptionedControls[] = {1010, 1020, 1021, 1024, 1027, 1040, 1041, 1042,
                                      1043, 1044, 1046, 1050, 1051, 1052, 1054, 1060,
                                      1070, 1071, 1090, 1091, 1092, 1093};

int width(const RECT& box) {
    return box.right - box.left;
}
int height(const RECT& box) {
    return box.bottom - box.top;
}

// Selects `font` into the window's DC for measuring; restored on scope exit.
class MeasuringContext {
  public:
    MeasuringContext(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
        if (dc_ && font) previous_ = SelectObject(dc_, font);
    }
    ~MeasuringContext() {
        if (!dc_) return;
        if (previous_) SelectObject(dc_, previous_);
        ReleaseDC(window_, dc_);
    }
    MeasuringContext(const MeasuringContext&) = delete;
    MeasuringContext& operator=(const MeasuringContext&) = delete;
    HDC dc() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

BOOL CALLBACK setFontOnChild(HWND child, LPARAM font) {
    SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

}  // namespace

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

SettingsLayout SettingsWindow::currentLayout() const {
    const LanguageLibrary& language = app_.language();
    const int dpi = app_.uiDpi();
    // The layout is designed at 96 DPI and scaled once at the end. A caption
    // is as wide as the wider of its 96-DPI width and its width in the
    // scaled font brought back to 96 DPI, so that it fits at either.
    MeasuringContext design(hwnd(), app_.designFont());
    MeasuringContext scaled(hwnd(), app_.uiFont());
    const auto measureText = [&](const wchar_t* text) {
        const int atDesign = textWidth(design.dc(), text);
        const int atDpi = textWidth(scaled.dc(), text);
        return std::max(atDesign, (atDpi * kDesignDpi + dpi - 1) / dpi);
    };
    const auto measure = [&](int id) { return measureText(language.text(id)); };
    CaptionWidths widths;
    widths.startModeLabel = measure(1010);
    widths.startModeFirst = measure(kStartModeFirstString);
    widths.startModeLast = measure(kStartModeFirstString + kStartModeCount - 1);
    widths.keepTransparency = measure(1071);
    widths.quality = measure(1021);
    widths.subsampling = measure(1024);
    widths.sizeLimit = measure(1027);
    widths.resizeSwitch = measure(1041);
    widths.byWidth = measure(1042);
    widths.byHeight = measure(1043);
    widths.byLongerSide = measure(1044);
    widths.resizeUnit = measure(1046);
    widths.subFolder = measure(1054);
    widths.sendTo = measure(1060);
    widths.digits3 = measureText(kDigits3);
    widths.digits4 = measureText(kDigits4);
    widths.ratio = measureText(kRatio41);
    widths.kilobytes = measureText(kKilobytes);
    SettingsLayout layout =
        computeSettingsLayout(measureFontQuantities(design.dc()), widths, reapplied_);
    for (LaidOutControl& place : layout) place.box = scaleForDpi(place.box, dpi);
    return layout;
}

HWND SettingsWindow::makeChild(DWORD exStyle, const wchar_t* className, const wchar_t* text,
                               DWORD style, const RECT& box, int id) {
    HWND child = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, box.left,
                                 box.top, width(box), height(box), hwnd(),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app_.instance(),
                                 nullptr);
    if (child && app_.uiFont())
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(app_.uiFont()), FALSE);
    return child;
}

void SettingsWindow::createNumberEdit(const RECT& box, int editId, int characters, int lowest,
                                      int highest, int value) {
    HWND edit = makeChild(WS_EX_CLIENTEDGE, L"EDIT", L"", kNumberEdit, box, editId);
    if (!edit) return;
    SendMessageW(edit, EM_SETLIMITTEXT, characters, 0);
    // Attached to the edit before it, inside its right edge; it writes the
    // position into the edit.
    CreateUpDownControl(WS_CHILD | WS_VISIBLE | kUpDown, 0, 0, 0, 0, hwnd(), editId + 1,
                        app_.instance(), edit, highest, lowest, value);
}

HWND SettingsWindow::createControl(const LaidOutControl& place) {
    const Settings& settings = app_.settings();
    const RECT& box = place.box;
    const int id = place.id;
    const UiText caption = app_.language().text(id);
    switch (id) {
        case 1010:
        case 1021:
        case 1024:
        case 1046:
            return makeChild(0, L"STATIC", caption, kLabel, box, id);
        case 1030:
            return makeChild(0, L"STATIC", kKilobytes, kLabel, box, id);
        case 1020:
        case 1040:
        case 1050:
        case 1070:
            return makeChild(WS_EX_TRANSPARENT, L"BUTTON", caption, BS_GROUPBOX, box, id);
        case 1027:
        case 1041:
        case 1054:
        case 1060:
        case 1071:
            return makeChild(0, L"BUTTON", caption, kCheckBox, box, id);
        case 1042:
            // The checked radio button makes itself the group's tab stop.
            return makeChild(0, L"BUTTON", caption, BS_AUTORADIOBUTTON | WS_GROUP, box, id);
        case 1043:
        case 1044:
            return makeChild(0, L"BUTTON", caption, BS_AUTORADIOBUTTON, box, id);
        case 1011: {
            HWND list = makeChild(0, L"COMBOBOX", L"", kList, box, id);
            if (list) SendMessageW(list, CB_SETEXTENDEDUI, TRUE, 0);
            return list;
        }
        case 1025: {
            HWND list = makeChild(0, L"COMBOBOX", L"", kList, box, id);
            if (!list) return nullptr;
            SendMessageW(list, CB_SETEXTENDEDUI, TRUE, 0);
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kRatio41));
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kRatio11));
            // Only 2 shows as "1:1"; any other value as "4:1".
            SendMessageW(list, CB_SETCURSEL, settings.jpegSubsampling == 2 ? 1 : 0, 0);
            return list;
        }
        case 1022:
            createNumberEdit(box, id, 3, 1, 100, settings.jpegQuality);
            return control(id);
        case 1028:
            createNumberEdit(box, id, 4, 1, 32767, settings.jpegSizeLimitKiB);
            return control(id);
        case 1045: {
            // WS_GROUP ends the radio buttons' group.
            HWND edit = makeChild(WS_EX_CLIENTEDGE, L"EDIT", L"", kNumberEdit | WS_GROUP, box, id);
            if (edit) SendMessageW(edit, EM_SETLIMITTEXT, 4, 0);
            SetDlgItemInt(hwnd(), id, static_cast<UINT>(settings.resizeTarget), TRUE);
            return edit;
        }
        case 1053: {
            // A tab stop too: a long path is read by moving through it.
            HWND edit = makeChild(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                  ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, box, id);
            if (edit) SendMessageW(edit, EM_SETLIMITTEXT, MAX_PATH, 0);
            return edit;
        }
        case 1055: {
            HWND edit = makeChild(WS_EX_CLIENTEDGE, L"EDIT", wide(settings.subFolderName.c_str()),
                                  ES_AUTOHSCROLL | WS_TABSTOP, box, id);
            if (edit) SendMessageW(edit, EM_SETLIMITTEXT, 32, 0);
            return edit;
        }
        default:  // 1051, 1052, 1090-1093
            return makeChild(0, L"BUTTON", caption, kPushButton, box, id);
    }
}

void SettingsWindow::buildControls() {
    Settings& settings = app_.settings();
    for (const LaidOutControl& place : currentLayout()) createControl(place);
    fillStartModeList(settings.startMode);
    showOutputFolder();
    CheckDlgButton(hwnd(), 1071, settings.keepTransparency ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), 1027, settings.jpegSizeLimitOn ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), kIdSettingsResizeSwitch,
                   settings.resizeOn ? BST_CHECKED : BST_UNCHECKED);
    const int mode = settings.resizeMode == kResizeByWidth    ? 1042
                     : settings.resizeMode == kResizeByHeight ? 1043
                                                              : 1044;
    CheckDlgButton(hwnd(), mode, BST_CHECKED);
    CheckDlgButton(hwnd(), 1054, settings.subFolderOn ? BST_CHECKED : BST_UNCHECKED);
    // Replaces shortcuts older versions left in Send To, once.
    const bool sendTo = migrateOldSendToShortcuts(settings);
    CheckDlgButton(hwnd(), 1060, sendTo ? BST_CHECKED : BST_UNCHECKED);
    enableSizeLimitControls();
    enableResizeControls(settings.resizeOn != 0);
}

void SettingsWindow::fillStartModeList(int selection) {
    HWND list = control(kIdStartModeList);
    if (!list) return;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kStartModeCount; ++i) {
        const UiText entry = app_.language().text(kStartModeFirstString + i);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
    }
    // A mode out of range selects nothing.
    SendMessageW(list, CB_SETCURSEL, selection, 0);
}

void SettingsWindow::showOutputFolder() {
    const HeapString& folder = app_.settings().outputFolder;
    if (folder.empty())
        SetDlgItemTextW(hwnd(), 1053, app_.language().text(kNoOutputFolderString));
    else
        SetDlgItemTextW(hwnd(), 1053, wide(folder.c_str()));
}

bool SettingsWindow::ticked(int id) const {
    return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED;
}

void SettingsWindow::enableSizeLimitControls() {
    const bool on = ticked(1027);
    for (int id : {1028, 1029, 1030})
        if (HWND child = control(id)) EnableWindow(child, on);
}

void SettingsWindow::takeValues(Settings& settings) {
    // Nothing to take while the option controls do not exist.
    if (!control(kIdSettingsConfirm)) return;
    settings.keepTransparency = ticked(1071) ? 1 : 0;
    settings.jpegSizeLimitOn = ticked(1027) ? 1 : 0;
    settings.resizeOn = ticked(kIdSettingsResizeSwitch) ? 1 : 0;
    settings.subFolderOn = ticked(1054) ? 1 : 0;
    // As the up-down reports it: a text it cannot read sets the high word,
    // giving a value of 65536 or more (the JPEG writer then uses 75).
    settings.jpegQuality = static_cast<int32_t>(SendMessageW(control(1023), UDM_GETPOS, 0, 0));
    settings.jpegSizeLimitKiB = static_cast<int32_t>(SendMessageW(control(1029), UDM_GETPOS, 0, 0));
    settings.jpegSubsampling = SendMessageW(control(1025), CB_GETCURSEL, 0, 0) == 1 ? 2 : 0;
    settings.resizeMode = ticked(1042)   ? kResizeByWidth
                          : ticked(1043) ? kResizeByHeight
                                         : kResizeByLongerSide;
    settings.resizeTarget = static_cast<int32_t>(GetDlgItemInt(hwnd(), 1045, nullptr, TRUE));
    // A folder that has gone away falls back to the source folder.
    if (!settings.outputFolder.empty() && !platform::isDirectory(settings.outputFolder.c_str())) {
        settings.outputFolder.clear();
        showOutputFolder();
    }
    wchar_t name[32] = {};  // at most 31 characters
    GetDlgItemTextW(hwnd(), 1055, name, 32);
    settings.subFolderName.assign(utf16(name));
    settings.startMode = startModeSelection();
}

void SettingsWindow::command(int id) {
    switch (id) {
        case 1027:
            enableSizeLimitControls();
            break;
        case 1051:
            chooseOutputFolder();
            break;
        case 1052:
            clearOutputFolder();
            break;
        case 1090:
            runOptionsDialog(app_, hwnd());
            break;
        case 1092:
            showHelp(app_.helpEngine());
            break;
        case 1093:
            showAbout();
            break;
    }
}

void SettingsWindow::chooseOutputFolder() {
    HeapString chosen;
    const UiText title = app_.language().text(kChooserTitleString);
    if (!chooseFolder(hwnd(), title, app_.settings().outputFolder, chosen)) return;
    app_.settings().outputFolder = std::move(chosen);
    showOutputFolder();
}

void SettingsWindow::clearOutputFolder() {
    app_.settings().outputFolder.clear();
    showOutputFolder();
}

void SettingsWindow::showAbout() {
    const UiText caption = app_.language().text(kAboutCaptionString);
    AboutWindowArgs args;
    args.instance = app_.instance();
    args.owner = hwnd();
    args.caption = caption;
    args.font = app_.uiFont();
    if (!showAboutWindow(args)) app_.showError(kErrorNoMemory, hwnd());
}

void SettingsWindow::applySendToShortcut() {
    if (control(1060)) applyShortcut(ShortcutPlace::SendTo, ticked(1060));
}

void SettingsWindow::reapplyLanguage() {
    const LanguageLibrary& language = app_.language();
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
        const UiText item = language.text(kIdAlwaysOnTop);
        ModifyMenuW(menu, kIdAlwaysOnTop, MF_BYCOMMAND | MF_STRING, kIdAlwaysOnTop, item);
    }
    // The new font on every child of both windows, the captions reloaded.
    const LPARAM font = reinterpret_cast<LPARAM>(app_.uiFont());
    HWND convert = app_.convertWindow().hwnd();
    if (convert) {
        EnumChildWindows(convert, setFontOnChild, font);
        for (int id = kIdConvertBmp; id <= kIdOpenSettings; ++id)
            SetDlgItemTextW(convert, id, language.text(id));
    }
    EnumChildWindows(hwnd(), setFontOnChild, font);
    for (int id : kCaptionedControls) SetDlgItemTextW(hwnd(), id, language.text(id));
    showOutputFolder();
    reapplied_ = true;
    relayout();
    if (convert) InvalidateRect(convert, nullptr, TRUE);
}

void SettingsWindow::applyDpi() {
    resizeForDpi(kClientWidth, kClientHeight, ConvertWindow::kStyle, ConvertWindow::kExStyle,
                 app_.uiDpi());
    EnumChildWindows(hwnd(), setFontOnChild, reinterpret_cast<LPARAM>(app_.uiFont()));
    relayout();
}

void SettingsWindow::relayout() {
    // The number edits and their up-down controls are made anew (an up-down
    // sizes itself into its edit only when attached), keeping their values.
    const int quality = LOWORD(SendMessageW(control(1023), UDM_GETPOS, 0, 0));
    const int limit = LOWORD(SendMessageW(control(1029), UDM_GETPOS, 0, 0));
    for (const LaidOutControl& place : currentLayout()) {
        const RECT& box = place.box;
        if (place.id == 1022 || place.id == 1028) {
            DestroyWindow(control(place.id + 1));
            DestroyWindow(control(place.id));
            if (place.id == 1022)
                createNumberEdit(box, 1022, 3, 1, 100, quality);
            else
                createNumberEdit(box, 1028, 4, 1, 32767, limit);
            // Back to their places in the tab order: after the control
            // before them in the layout.
            constexpr UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
            SetWindowPos(control(place.id), control(place.id - 1), 0, 0, 0, 0, kOrderOnly);
            SetWindowPos(control(place.id + 1), control(place.id), 0, 0, 0, 0, kOrderOnly);
            continue;
        }
        SetWindowPos(control(place.id), nullptr, box.left, box.top, width(box), height(box),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    enableSizeLimitControls();
    fillStartModeList(startModeSelection());
    InvalidateRect(hwnd(), nullptr, TRUE);
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
        case WM_DPICHANGED:
            app_.changeDpi(HIWORD(wParam));
            moveToSuggested(lParam);
            return 0;
        case WM_PAINT:
            paintBackground();
            return 0;
        case WM_CLOSE:
            app_.dispatchCommand(kIdSettingsConfirm);
            return 0;
        case WM_COMMAND:
            // Buttons only: list and edit notifications change nothing.
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
