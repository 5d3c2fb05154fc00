// The settings window: every option of the Settings, and the drop target when
// the program was started without files. Its system menu carries the
// always-on-top item; a mouse click anywhere gives it the keyboard focus.
//
// Its controls are the rows of settings_controls.h, laid out from the UI
// font's measures and laid out again, with every caption reloaded, after a
// language or font change. It handles its own buttons; what concerns other
// windows goes to the Shell. Until the controls exist takeValues() leaves
// the Settings as they are.
#pragma once

#include "app/settings_layout.h"
#include "app/shell.h"
#include "app/window.h"
#include "core/settings.h"

namespace app {

struct SettingsControl;
struct SettingBinding;

class SettingsWindow : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"Pirex_setting_class";
    static constexpr int kClientWidth = 506;
    static constexpr int kClientHeight = 314;
    // Overlapped, so it gets a caption.
    static constexpr DWORD kStyle = WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME;
    // Its size is computed for the convert window's frame.
    static constexpr DWORD kFrameStyle = WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kFrameExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME;

    explicit SettingsWindow(Shell& shell) : shell_(shell) {}

    // Created owned by the convert window, framed and centred like it.
    bool create(HWND owner);

    // Copies the controls' values into the Settings (confirm, batch start).
    void takeValues(Settings& settings);
    // The start mode a drop uses: the start-mode list's selection.
    int startModeSelection() const;
    // Mirrors the convert window's resize switch into this window's, and
    // enables the controls that follow it.
    void setResizeSwitch(bool on);
    bool resizeSwitch() const;
    // Creates or deletes the Send To shortcut as its check box says.
    void applySendToShortcut();
    // After a language or font change (the new font already made): the
    // system-menu item, every caption, the new font on every child, and the
    // layout computed again for that font; then the Shell's other windows.
    void reapplyLanguage();
    // The font and the layout for the shell's new DPI.
    void applyDpi();

    bool alwaysOnTop() const;
    void toggleAlwaysOnTop();

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void buildSystemMenu();
    void buildControls();
    // The layout for the current font and captions, scaled for the DPI.
    SettingsLayout currentLayout() const;
    // Every control moved to the current layout.
    void relayout();
    void markAlwaysOnTopItem(HMENU menu);
    HWND control(int id) const { return GetDlgItem(hwnd(), id); }
    bool ticked(int id) const;
    // The value of a radio group's ticked button.
    int32_t tickedRadioValue(const SettingBinding& binding) const;
    // Focus moved by the keyboard.
    void focusControl(HWND child);
    void createControl(const SettingsControl& control, const RECT& box);
    HWND makeChild(const SettingsControl& control, const wchar_t* text, const RECT& box);
    // A number edit's up-down, attached to it and showing `value`.
    void attachUpDown(const SettingsControl& control, int value);
    // The controls show the Settings.
    void showValues(const Settings& settings);
    void fillStartModeList(int selection);
    void showOutputFolder();
    // Every control enabled as its rule says.
    void applyEnableRules();
    void command(int id);
    void chooseOutputFolder();
    void clearOutputFolder();
    void showAbout();
    void confirm();

    Shell& shell_;
    bool reapplied_ = false;
};

}  // namespace app
