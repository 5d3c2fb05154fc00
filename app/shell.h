// What the program's windows may ask of the program: its settings, texts,
// font and DPI, and the few events that concern more than one window. A
// window includes this and nothing of the program's shell, so the shell can
// own the windows without a cycle between them.
#pragma once

#include <shellapi.h>
#include <windows.h>

#include "core/settings.h"

namespace app {

class HtmlHelpEngine;
class LanguageLibrary;

class Shell {
  public:
    virtual HINSTANCE instance() const = 0;
    virtual Settings& settings() = 0;
    virtual const LanguageLibrary& language() const = 0;
    virtual HFONT uiFont() const = 0;
    // The UI font at 96 DPI, which the layouts are measured with.
    virtual HFONT designFont() const = 0;
    virtual int uiDpi() const = 0;
    virtual HtmlHelpEngine& helpEngine() = 0;
    // A batch-level error box: title 30000, text `id`.
    virtual void showError(UINT id, HWND owner) = 0;

    // The settings window's events.
    // Confirmed (button 1091 or the window's close): the settings are taken.
    virtual void settingsConfirmed() = 0;
    // Its resize switch changed; the convert window's follows.
    virtual void resizeSwitchChanged(bool on) = 0;
    virtual void filesDropped(HDROP drop) = 0;
    // Moved to a monitor of another DPI: the font and both windows anew.
    virtual void dpiChanged(int dpi) = 0;
    // The options dialog, owned by `owner`.
    virtual void openOptions(HWND owner) = 0;
    // After the settings window re-applied a language or font change: the
    // other windows follow.
    virtual void languageReapplied() = 0;
    // The options dialog's choice: the language library named `language`
    // (null: the one in use) and the font height, applied to every window.
    virtual void changeLanguageAndFont(const char16_t* language, int32_t fontHeight) = 0;

    // The convert window's events: a format button, its resize switch or
    // the settings button (by id, also from the keyboard), its WM_CLOSE
    // before it goes, and WM_ENDSESSION when the session really ends.
    virtual void convertCommand(int id) = 0;
    virtual void convertWindowClosing() = 0;
    virtual void sessionEnding() = 0;
    // Files a second start of the program handed over (WM_COPYDATA to the
    // convert window): queued when a batch runs, else refused (false).
    virtual bool receiveFiles(const COPYDATASTRUCT& data) = 0;

    // The two main windows' frames (null when one does not exist): a batch
    // disables them and owns its boxes by them.
    virtual HWND convertFrame() const = 0;
    virtual HWND settingsFrame() const = 0;

  protected:
    ~Shell() = default;
};

}  // namespace app
