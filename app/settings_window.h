// The settings window: every option of the Settings, and the drop target when
// the program was started without files. Its system menu carries the
// always-on-top item; a mouse click anywhere gives it the keyboard focus.
//
// The controls are laid out from the UI font's measures (settings_layout.h)
// and laid out again, with every caption reloaded, after a language or font
// change. Until they exist takeValues() leaves the Settings as they are.
#pragma once

#include "app/settings_layout.h"
#include "app/window.h"
#include "core/settings.h"

namespace app {

class Application;

class SettingsWindow : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"Pirex_setting_class";
    static constexpr int kClientWidth = 506;
    static constexpr int kClientHeight = 314;
    // Overlapped, so it gets a caption.
    static constexpr DWORD kStyle = WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME;

    explicit SettingsWindow(Application& app) : app_(app) {}

    // Created owned by the convert window, framed and centred like it.
    bool create(HWND owner);

    // Copies the controls' values into the Settings (confirm, batch start).
    void takeValues(Settings& settings);
    // The start mode a drop uses: the start-mode list's selection.
    int startModeSelection() const;
    // Mirrors the convert window's resize switch into this window's.
    void setResizeSwitch(bool on);
    bool resizeSwitch() const;
    // Enables the controls that only matter while resizing is on.
    void enableResizeControls(bool on);

    // The window's own actions: 1027 (size-limit switch), 1051 and 1052
    // (choose and clear the output folder), 1090 (options dialog), 1092
    // (help) and 1093 (About).
    void command(int id);
    // Creates or deletes the Send To shortcut as check box 1060 says.
    void applySendToShortcut();
    // After a language or font change (the new font already made): the
    // system-menu item, every caption of both windows, the new font on every
    // child, and the layout computed again for that font.
    void reapplyLanguage();
    // The font and the layout for the application's new DPI.
    void applyDpi();
    // The layout for the current font and captions, as the controls get it.
    SettingsLayout currentLayout() const;

    bool alwaysOnTop() const;
    void toggleAlwaysOnTop();

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void buildSystemMenu();
    void buildControls();
    // Every control moved to the current layout.
    void relayout();
    void markAlwaysOnTopItem(HMENU menu);
    HWND control(int id) const { return GetDlgItem(hwnd(), id); }
    bool ticked(int id) const;
    HWND createControl(const LaidOutControl& place);
    HWND makeChild(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                   const RECT& box, int id);
    // The number edit `editId` and its up-down `editId` + 1 at `box`.
    void createNumberEdit(const RECT& box, int editId, int characters, int lowest, int highest,
                          int value);
    void fillStartModeList(int selection);
    void showOutputFolder();
    void enableSizeLimitControls();
    void chooseOutputFolder();
    void clearOutputFolder();
    void showAbout();

    Application& app_;
    bool reapplied_ = false;
};

}  // namespace app
