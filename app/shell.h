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

  protected:
    ~Shell() = default;
};

}  // namespace app
