// The settings window: every option of the Settings, and the drop target when
// the program was started without files. Its system menu carries the
// always-on-top item; a mouse click anywhere gives it the keyboard focus.
//
// The option controls are built in buildControls(); until they exist the
// window shows no options, takeValues() leaves the Settings as they are and
// the start mode is the one loaded.
#pragma once

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

    bool alwaysOnTop() const;
    void toggleAlwaysOnTop();

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void buildSystemMenu();
    void buildControls();
    void markAlwaysOnTopItem(HMENU menu);

    Application& app_;
};

}  // namespace app
