// The program's shell: the settings, the language library, the UI font, the
// two windows and the rules by which a batch starts and the program ends.
//
// States (which window shows, and what leaves it):
//   started without files   settings window, drop target; a drop converts
//                           (start modes 1-5) or waits in the convert window
//                           (mode 0); confirming or closing it ends the program
//   started with files      mode 0: the convert window; a format command
//                           converts and ends the program, Esc/close ends it.
//                           Modes 1-5: the batch runs during start-up, no
//                           window shows, the settings file is left as it was
//   drop waiting            the convert window; a format command converts and
//                           returns to the settings window, 1006 drops the files
//
// A batch runs on a thread of its own while this thread keeps the windows
// answering (disabled for input); files handed over by a second start or
// dropped meanwhile are converted after it (BatchSession).
#pragma once

#include <windows.h>

#include <functional>

#include "app/batch_session.h"
#include "app/convert_window.h"
#include "app/html_help.h"
#include "app/language_library.h"
#include "app/process_setup.h"
#include "app/settings_window.h"
#include "app/shell.h"
#include "app/source_list.h"
#include "app/ui_font.h"
#include "app/window_icons.h"
#include "core/settings.h"
#include "core/settings_file_reader.h"
#include "core/settings_locate.h"
#include "driver/batch_driver.h"

namespace app {

// Shows a message box; replaced by tests, which cannot answer a modal box.
using ShowMessageFn =
    std::function<void(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags)>;
void showMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

struct StartOptions {
    int osClass = 0;
    const ArgumentVector* arguments = nullptr;  // element 0 is the program
    // Where the settings file and the language libraries are; null: settled
    // for the running program (which must be called "Pirex").
    const SettingsLocation* location = nullptr;
    // The user-interface language; 0: the user's.
    LANGID uiLanguage = 0;
};

// The Shell of the program's windows: the windows, the dialogs and the batch
// session see only the Shell.
class Application final : public Shell {
  public:
    explicit Application(HINSTANCE instance, ShowMessageFn showMessage = showMessageBox);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Everything between the process-wide set-up and the message loop: the
    // system and name checks, the language library, the single-instance
    // rule, the windows, and in start modes 1-5 the batch. False when the
    // program is to end at once.
    bool initialize(const StartOptions& options);
    // Until WM_QUIT; returns its exit code.
    int runMessageLoop();
    // The keyboard interface of the program's windows, before a message is
    // translated and dispatched: true when it was handled (the message loop
    // then skips it).
    bool translateKeyboard(MSG& message);

    // The convert window's commands: format buttons, its resize switch and
    // the settings button.
    void dispatchCommand(int id);
    void convertCommand(int id) override { dispatchCommand(id); }
    // Files a second start of the program handed over (WM_COPYDATA to the
    // convert window): queued when a batch runs, else refused (false).
    bool receiveFiles(const COPYDATASTRUCT& data) override;
    // A batch runs, or its failed files are still being shown.
    bool batchRunning() const { return session_.busy(); }
    // WM_CLOSE of the convert window, before it is destroyed.
    void convertWindowClosing() override;
    // WM_ENDSESSION (the session really ends).
    void sessionEnding() override;
    // Brings the Settings up to date with the windows' controls (at the start
    // of every batch).
    void takeWindowValues();

    // The Shell.
    HINSTANCE instance() const override { return instance_; }
    Settings& settings() override { return settings_; }
    const LanguageLibrary& language() const override { return language_; }
    LanguageLibrary& language() { return language_; }
    HFONT uiFont() const override { return font_.handle(); }
    // The UI font itself at 96 DPI, a second font object only at other DPIs.
    HFONT designFont() const override {
        return uiDpi_ == 96 ? font_.handle() : designFont_.handle();
    }
    int uiDpi() const override { return uiDpi_; }
    HtmlHelpEngine& helpEngine() override { return help_; }
    void showError(UINT id, HWND owner) override;
    void settingsConfirmed() override;
    void resizeSwitchChanged(bool on) override;
    void filesDropped(HDROP drop) override;
    void dpiChanged(int dpi) override { changeDpi(dpi); }
    void openOptions(HWND owner) override;
    void languageReapplied() override;
    void changeLanguageAndFont(const char16_t* language, int32_t fontHeight) override;
    HWND convertFrame() const override { return convertWindow_.hwnd(); }
    HWND settingsFrame() const override { return settingsWindow_.hwnd(); }

    ConvertWindow& convertWindow() { return convertWindow_; }
    SettingsWindow& settingsWindow() { return settingsWindow_; }
    const SettingsLocation& location() const { return location_; }
    bool dropPending() const { return pendingDrop_.active(); }
    void releaseFont() {
        font_.release();
        designFont_.release();
    }
    // After a language or font change: the UI font made anew from string
    // 20000 and the font height.
    bool recreateUiFont();
    // A window moved to a monitor of another DPI: the font, then both
    // windows' layouts and icons, made for `dpi`.
    void changeDpi(int dpi);

  private:
    bool startWindows(SettingsFileReader& reader);
    // Runs the batch for format command 1000-1004 (or a start mode's format).
    void runBatch(OutputFormat format);
    // The command-line sources: arguments 1..n that exist, in order.
    bool collectArguments(SourceList& sources) const;
    // Starts the batch on its own thread; `finished` follows it (the window
    // change after a drop, the end of the program after a command line).
    void executeJob(std::unique_ptr<SourceList> sources, OutputFormat format,
                    std::function<void()> finished);
    // The end of a batch that came from the command line: the program closes.
    void closeProgram();
    void updateResizeDependents();
    // Writes the settings file; the language library goes with it.
    void saveAll();
    void reportStartFailure(const wchar_t* text);

    HINSTANCE instance_;
    ShowMessageFn showMessage_;
    HtmlHelpEngine help_;
    SettingsLocation location_;
    Settings settings_;
    LanguageLibrary language_{location_.programFolder};
    UiFont font_;
    UiFont designFont_;
    int uiDpi_ = 96;
    // Before the windows, which show them until they go.
    WindowIcons convertIcons_;
    WindowIcons settingsIcons_;
    ConvertWindow convertWindow_{*this};
    SettingsWindow settingsWindow_{*this};
    const ArgumentVector* arguments_ = nullptr;
    int fileArgumentCount_ = 0;
    bool startedWithFiles_ = false;
    SourceList pendingDrop_;
    bool saveOnClose_ = true;
    // Last: its thread must end before anything it reads goes.
    BatchSession session_{*this};
};

// The program: process set-up, the application, the message loop and the
// shutdown in order. Returns the exit code.
int runPirex(HINSTANCE instance);

}  // namespace app
