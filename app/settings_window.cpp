#include "app/settings_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/about_window.h"
#include "app/dpi.h"
#include "app/folder_chooser.h"
#include "app/html_help.h"
#include "app/language_library.h"
#include "app/settings_controls.h"
#include "app/shortcuts.h"
#include "app/text.h"
#include "lang/resource_ids.h"
#include "platform/platform.h"

namespace app {

namespace {

constexpr DWORD kUpDown = UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;

int width(const RECT& box) {
    return box.right - box.left;
}
int height(const RECT& box) {
    return box.bottom - box.top;
}

bool isRadio(ControlKind kind) {
    return kind == ControlKind::FirstRadio || kind == ControlKind::Radio;
}

// The radio buttons of a setting: ticked is the one whose value it holds,
// the group's last for any other value.
int radioToTick(const SettingBinding& binding, const Settings& settings) {
    int last = 0;
    for (const SettingsControl& control : settingsControls()) {
        if (!isRadio(control.kind) || control.binding.field != binding.field) continue;
        if (settings.*binding.field == control.binding.value) return control.id;
        last = control.id;
    }
    return last;
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
    return Window::create(shell_.instance(), kClassName, kExStyle, kStyle, kClientWidth,
                          kClientHeight, kFrameStyle, kFrameExStyle, owner);
}

void SettingsWindow::buildSystemMenu() {
    HMENU menu = GetSystemMenu(hwnd(), FALSE);
    if (!menu) return;
    // Maximise and size of the standard menu: position 4 first, so that
    // position 2 still names the same item.
    DeleteMenu(menu, 4, MF_BYPOSITION);
    DeleteMenu(menu, 2, MF_BYPOSITION);
    const UiText caption = shell_.language().text(IDS_ALWAYS_ON_TOP);
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, IDS_ALWAYS_ON_TOP, caption);
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_SEPARATOR, IDM_ALWAYS_ON_TOP_SEPARATOR, nullptr);
}

SettingsLayout SettingsWindow::currentLayout() const {
    const LanguageLibrary& language = shell_.language();
    const int dpi = shell_.uiDpi();
    // The layout is designed at 96 DPI and scaled once at the end. A caption
    // is as wide as the wider of its 96-DPI width and its width in the
    // scaled font brought back to 96 DPI, so that it fits at either.
    MeasuringContext design(hwnd(), shell_.designFont());
    MeasuringContext scaled(hwnd(), shell_.uiFont());
    const auto measure = [&](const wchar_t* text) {
        const std::wstring shown = shownCaption(text);
        const int atDesign = textWidth(design.dc(), shown.c_str());
        const int atDpi = textWidth(scaled.dc(), shown.c_str());
        return std::max(atDesign, (atDpi * kDesignDpi + dpi - 1) / dpi);
    };
    const auto string = [&](int id) { return std::wstring(language.text(id)); };
    LayoutRuler ruler(measureFontQuantities(design.dc()), measure, string, reapplied_);
    SettingsLayout layout = layOutSettingsControls(ruler);
    for (LaidOutControl& place : layout) place.box = scaleForDpi(place.box, dpi);
    return layout;
}

HWND SettingsWindow::makeChild(const SettingsControl& control, const wchar_t* text,
                               const RECT& box) {
    const ControlClass kind = controlClassOf(control.kind);
    HWND child = CreateWindowExW(
        kind.exStyle, kind.className, text, WS_CHILD | WS_VISIBLE | kind.style, box.left, box.top,
        width(box), height(box), hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
        shell_.instance(), nullptr);
    if (!child) return nullptr;
    if (shell_.uiFont())
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(shell_.uiFont()), FALSE);
    if (control.limits.characters > 0)
        SendMessageW(child, EM_SETLIMITTEXT, control.limits.characters, 0);
    return child;
}

void SettingsWindow::attachUpDown(const SettingsControl& control, int value) {
    // Attached to the edit before it, inside its right edge; it writes the
    // position into the edit.
    CreateUpDownControl(WS_CHILD | WS_VISIBLE | kUpDown, 0, 0, 0, 0, hwnd(), control.id + 1,
                        shell_.instance(), GetDlgItem(hwnd(), control.id), control.limits.highest,
                        control.limits.lowest, value);
}

void SettingsWindow::createControl(const SettingsControl& control, const RECT& box) {
    const UiText caption = shell_.language().text(control.id);
    const bool captioned = controlClassOf(control.kind).captioned;
    const wchar_t* text = captioned ? caption.text : L"";
    if (control.kind == ControlKind::UnitLabel) text = kKilobytes;
    HWND child = makeChild(control, text, box);
    if (!child) return;
    switch (control.kind) {
        case ControlKind::StartModeList:
            SendMessageW(child, CB_SETEXTENDEDUI, TRUE, 0);
            break;
        case ControlKind::RatioList:
            SendMessageW(child, CB_SETEXTENDEDUI, TRUE, 0);
            SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kRatio41));
            SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kRatio11));
            break;
        case ControlKind::NumberEdit:
            attachUpDown(control, shell_.settings().*control.binding.field);
            break;
        default:
            break;
    }
}

void SettingsWindow::buildControls() {
    const SettingsLayout layout = currentLayout();
    const auto controls = settingsControls();
    for (size_t i = 0; i < controls.size(); ++i) createControl(controls[i], layout[i].box);
    Settings& settings = shell_.settings();
    showValues(settings);
    // Replaces shortcuts older versions left in Send To, once.
    const bool sendTo = migrateOldSendToShortcuts(settings);
    CheckDlgButton(hwnd(), IDS_SEND_TO_SHORTCUT, sendTo ? BST_CHECKED : BST_UNCHECKED);
    applyEnableRules();
    // Focus rectangles and mnemonic underlines show from the start.
    SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
}

void SettingsWindow::showValues(const Settings& settings) {
    for (const SettingsControl& control : settingsControls()) {
        const SettingBinding& binding = control.binding;
        if (!binding.field) continue;
        const int32_t value = settings.*binding.field;
        switch (control.kind) {
            case ControlKind::CheckBox:
                CheckDlgButton(hwnd(), control.id, value ? BST_CHECKED : BST_UNCHECKED);
                break;
            case ControlKind::FirstRadio:
            case ControlKind::Radio:
                CheckDlgButton(
                    hwnd(), control.id,
                    radioToTick(binding, settings) == control.id ? BST_CHECKED : BST_UNCHECKED);
                break;
            case ControlKind::StartModeList:
                fillStartModeList(value);
                break;
            case ControlKind::RatioList:
                // Only 2 shows as "1:1"; any other value as "4:1".
                SendDlgItemMessageW(hwnd(), control.id, CB_SETCURSEL, value == 2 ? 1 : 0, 0);
                break;
            case ControlKind::SignedEdit:
                SetDlgItemInt(hwnd(), control.id, static_cast<UINT>(value), TRUE);
                break;
            default:  // number edits: their up-down holds the value
                break;
        }
    }
    SetDlgItemTextW(hwnd(), IDC_SUB_FOLDER_EDIT, wide(settings.subFolderName.c_str()));
    showOutputFolder();
}

void SettingsWindow::fillStartModeList(int selection) {
    HWND list = control(IDC_START_MODE_LIST);
    if (!list) return;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < kStartModeCount; ++i) {
        const UiText entry = shell_.language().text(IDS_START_MODE_ASK + i);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
    }
    // A mode out of range selects nothing.
    SendMessageW(list, CB_SETCURSEL, selection, 0);
}

void SettingsWindow::showOutputFolder() {
    const HeapString& folder = shell_.settings().outputFolder;
    if (folder.empty())
        SetDlgItemTextW(hwnd(), IDC_OUTPUT_FOLDER_EDIT,
                        shell_.language().text(IDS_OUTPUT_NO_FOLDER));
    else
        SetDlgItemTextW(hwnd(), IDC_OUTPUT_FOLDER_EDIT, wide(folder.c_str()));
}

bool SettingsWindow::ticked(int id) const {
    return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED;
}

int32_t SettingsWindow::tickedRadioValue(const SettingBinding& binding) const {
    // The group's last button stands for "none ticked".
    int32_t value = 0;
    for (const SettingsControl& control : settingsControls()) {
        if (!isRadio(control.kind) || control.binding.field != binding.field) continue;
        value = control.binding.value;
        if (ticked(control.id)) break;
    }
    return value;
}

void SettingsWindow::applyEnableRules() {
    for (const SettingsControl& control : settingsControls()) {
        bool enabled = true;
        if (control.enable == EnableRule::WhileSizeLimited) enabled = ticked(IDS_JPEG_SIZE_LIMIT);
        if (control.enable == EnableRule::WhileResizing) enabled = ticked(IDS_RESIZE_SWITCH);
        if (control.enable == EnableRule::Always) continue;
        if (HWND child = this->control(control.id)) EnableWindow(child, enabled);
        if (control.kind == ControlKind::NumberEdit)
            if (HWND upDown = this->control(control.id + 1)) EnableWindow(upDown, enabled);
    }
}

void SettingsWindow::takeValues(Settings& settings) {
    // Nothing to take while the option controls do not exist.
    if (!control(IDS_SAVE_AND_CLOSE)) return;
    for (const SettingsControl& control : settingsControls()) {
        const SettingBinding& binding = control.binding;
        if (!binding.field) continue;
        int32_t& value = settings.*binding.field;
        switch (control.kind) {
            case ControlKind::CheckBox:
                value = ticked(control.id) ? 1 : 0;
                break;
            case ControlKind::FirstRadio:
                value = tickedRadioValue(binding);
                break;
            case ControlKind::StartModeList:
                value = startModeSelection();
                break;
            case ControlKind::RatioList:
                value = SendMessageW(this->control(control.id), CB_GETCURSEL, 0, 0) == 1 ? 2 : 0;
                break;
            case ControlKind::NumberEdit:
                // As the up-down reports it: a text it cannot read sets the
                // high word, giving a value of 65536 or more (the JPEG writer
                // then uses 75).
                value = static_cast<int32_t>(
                    SendMessageW(this->control(control.id + 1), UDM_GETPOS, 0, 0));
                break;
            case ControlKind::SignedEdit:
                value = static_cast<int32_t>(GetDlgItemInt(hwnd(), control.id, nullptr, TRUE));
                break;
            default:
                break;
        }
    }
    // A folder that has gone away falls back to the source folder.
    if (!settings.outputFolder.empty() && !platform::isDirectory(settings.outputFolder.c_str())) {
        settings.outputFolder.clear();
        showOutputFolder();
    }
    wchar_t name[32] = {};  // at most 31 characters
    GetDlgItemTextW(hwnd(), IDC_SUB_FOLDER_EDIT, name, 32);
    settings.subFolderName.assign(utf16(name));
}

void SettingsWindow::command(int id) {
    switch (id) {
        case IDS_JPEG_SIZE_LIMIT:
            applyEnableRules();
            break;
        case IDS_RESIZE_SWITCH:
            applyEnableRules();
            shell_.resizeSwitchChanged(resizeSwitch());
            break;
        case IDS_OUTPUT_CHOOSE_FOLDER:
            chooseOutputFolder();
            break;
        case IDS_OUTPUT_CLEAR_FOLDER:
            clearOutputFolder();
            break;
        case IDS_OPTIONS_BUTTON:
            shell_.openOptions(hwnd());
            break;
        case IDS_SAVE_AND_CLOSE:
            confirm();
            break;
        case IDS_HELP_BUTTON:
            showHelp(shell_.helpEngine());
            break;
        case IDS_ABOUT_BUTTON:
            showAbout();
            break;
    }
}

void SettingsWindow::confirm() {
    shell_.settingsConfirmed();
}

void SettingsWindow::chooseOutputFolder() {
    HeapString chosen;
    const UiText title = shell_.language().text(IDS_FOLDER_CHOOSER_TITLE);
    if (!chooseFolder(hwnd(), title, shell_.settings().outputFolder, chosen)) return;
    shell_.settings().outputFolder = std::move(chosen);
    showOutputFolder();
}

void SettingsWindow::clearOutputFolder() {
    shell_.settings().outputFolder.clear();
    showOutputFolder();
}

void SettingsWindow::showAbout() {
    const UiText caption = shell_.language().text(IDS_ABOUT_CAPTION);
    AboutWindowArgs args;
    args.instance = shell_.instance();
    args.owner = hwnd();
    args.caption = caption;
    args.font = shell_.uiFont();
    if (!showAboutWindow(args)) shell_.showError(IDS_ERROR_OUT_OF_MEMORY, hwnd());
}

void SettingsWindow::applySendToShortcut() {
    if (control(IDS_SEND_TO_SHORTCUT))
        applyShortcut(ShortcutPlace::SendTo, ticked(IDS_SEND_TO_SHORTCUT));
}

void SettingsWindow::reapplyLanguage() {
    const LanguageLibrary& language = shell_.language();
    if (HMENU menu = GetSystemMenu(hwnd(), FALSE)) {
        const UiText item = language.text(IDS_ALWAYS_ON_TOP);
        ModifyMenuW(menu, IDS_ALWAYS_ON_TOP, MF_BYCOMMAND | MF_STRING, IDS_ALWAYS_ON_TOP, item);
    }
    // The new font on every child, the captions reloaded.
    EnumChildWindows(hwnd(), setFontOnChild, reinterpret_cast<LPARAM>(shell_.uiFont()));
    for (const SettingsControl& control : settingsControls())
        if (controlClassOf(control.kind).captioned)
            SetDlgItemTextW(hwnd(), control.id, language.text(control.id));
    showOutputFolder();
    reapplied_ = true;
    relayout();
    shell_.languageReapplied();
}

void SettingsWindow::applyDpi() {
    resizeForDpi(kClientWidth, kClientHeight, kFrameStyle, kFrameExStyle, shell_.uiDpi());
    EnumChildWindows(hwnd(), setFontOnChild, reinterpret_cast<LPARAM>(shell_.uiFont()));
    relayout();
}

void SettingsWindow::relayout() {
    const SettingsLayout layout = currentLayout();
    const auto controls = settingsControls();
    HWND previous = nullptr;
    for (size_t i = 0; i < controls.size(); ++i) {
        const SettingsControl& entry = controls[i];
        const RECT& box = layout[i].box;
        if (entry.kind == ControlKind::NumberEdit) {
            // Made anew with its up-down (an up-down sizes itself into its
            // edit only when attached), keeping its value, and put back in
            // its place in the tab order: after the control before it.
            const int value = LOWORD(SendMessageW(control(entry.id + 1), UDM_GETPOS, 0, 0));
            DestroyWindow(control(entry.id + 1));
            DestroyWindow(control(entry.id));
            makeChild(entry, L"", box);
            attachUpDown(entry, value);
            constexpr UINT kOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
            SetWindowPos(control(entry.id), previous, 0, 0, 0, 0, kOrderOnly);
            SetWindowPos(control(entry.id + 1), control(entry.id), 0, 0, 0, 0, kOrderOnly);
        } else {
            SetWindowPos(control(entry.id), nullptr, box.left, box.top, width(box), height(box),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        previous = control(entry.id);
    }
    applyEnableRules();
    fillStartModeList(startModeSelection());
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void SettingsWindow::focusControl(HWND child) {
    if (!child) return;
    SetFocus(child);
    // An edit reached from the keyboard has its text selected, as in a dialog.
    if (SendMessageW(child, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
        SendMessageW(child, EM_SETSEL, 0, -1);
}

int SettingsWindow::startModeSelection() const {
    HWND list = control(IDC_START_MODE_LIST);
    if (!list) return shell_.settings().startMode;
    return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
}

void SettingsWindow::setResizeSwitch(bool on) {
    if (HWND box = control(IDS_RESIZE_SWITCH))
        SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    applyEnableRules();
}

bool SettingsWindow::resizeSwitch() const {
    return ticked(IDS_RESIZE_SWITCH);
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
    SetMenuItemInfoW(menu, IDS_ALWAYS_ON_TOP, FALSE, &item);
}

LRESULT SettingsWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            buildSystemMenu();
            buildControls();
            return 0;
        case WM_DPICHANGED:
            shell_.dpiChanged(HIWORD(wParam));
            moveToSuggested(lParam);
            return 0;
        case WM_PAINT:
            paintBackground();
            return 0;
        case WM_CLOSE:
            confirm();
            return 0;
        case WM_COMMAND:
            // Buttons only: list and edit notifications change nothing.
            if (HIWORD(wParam) == BN_CLICKED) command(LOWORD(wParam));
            return 0;
        case WM_NEXTDLGCTL:
            // The dialog manager's request on Alt + a label's mnemonic (and
            // on Tab): the control it names, or the next or previous tab stop.
            if (lParam) {
                focusControl(reinterpret_cast<HWND>(wParam));
            } else {
                // From the window itself (after a click on it): the first stop.
                HWND from = IsChild(hwnd(), GetFocus()) ? GetFocus() : nullptr;
                focusControl(GetNextDlgTabItem(hwnd(), from, wParam != 0));
            }
            return 0;
        case WM_SYSCOMMAND:
            if (wParam == static_cast<WPARAM>(IDS_ALWAYS_ON_TOP)) {
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
            shell_.filesDropped(reinterpret_cast<HDROP>(wParam));
            return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace app
