#include "app/application.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/instance_handover.h"
#include "app/options_dialog.h"
#include "app/progress_window.h"
#include "app/text.h"
#include "core/crc32.h"
#include "core/settings_store.h"
#include "driver/native_formats.h"
#include "lang/resource_ids.h"
#include "platform/platform.h"

namespace app {

namespace {

constexpr wchar_t kStartFailed[] = L"Failed to execute file.";
constexpr wchar_t kLanguageMissing[] = L"Language file not found.";
constexpr wchar_t kStartCaption[] = L"Error";

// Dropped item `index` as a heap string of its full length.
bool queryDroppedPath(HDROP drop, UINT index, HeapString& path) {
    const UINT length = DragQueryFileW(drop, index, nullptr, 0);
    auto* buffer =
        static_cast<wchar_t*>(platform::privateHeap().allocate((length + 1) * sizeof(wchar_t)));
    if (!buffer) return false;
    const UINT copied = DragQueryFileW(drop, index, buffer, length + 1);
    const bool assigned = path.assign(utf16(buffer), copied);
    platform::privateHeap().release(buffer);
    return assigned;
}

}  // namespace

void showMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
    MessageBoxW(owner, text, caption, flags);
}

Application::Application(HINSTANCE instance, ShowMessageFn showMessage)
    : instance_(instance), showMessage_(std::move(showMessage)) {}

Application::~Application() = default;

void Application::reportStartFailure(const wchar_t* text) {
    showMessage_(nullptr, text, kStartCaption, MB_ICONERROR | MB_SETFOREGROUND);
}

bool Application::initialize(const StartOptions& options) {
    arguments_ = options.arguments;
    const int argumentCount = arguments_ ? arguments_->count() : 0;
    fileArgumentCount_ = argumentCount > 1 ? argumentCount - 1 : 0;
    startedWithFiles_ = fileArgumentCount_ > 0;

    if (options.location) {
        location_.programFolder = options.location->programFolder;
        location_.settingsFile = options.location->settingsFile;
    }
    const bool located =
        options.location ? !location_.settingsFile.empty() : locateSettings(location_);
    if (options.osClass == 0 || !located) {
        reportStartFailure(kStartFailed);
        return false;
    }

    SettingsFileReader reader;
    reader.open(location_.settingsFile.c_str());
    loadLanguageSetting(reader, settings_);
    const LANGID uiLanguage = options.uiLanguage ? options.uiLanguage : GetUserDefaultUILanguage();
    if (!language_.load(settings_.language, uiLanguage)) {
        reportStartFailure(kLanguageMissing);
        return false;
    }

    // One instance: the first is brought forward. This start's files are
    // handed to it; it converts them only when it is converting already.
    if (HWND first = FindWindowW(ConvertWindow::kClassName, nullptr)) {
        SourceList files;
        if (startedWithFiles_ && collectArguments(files) && files.count() > 0)
            handOverFiles(first, files);
        if (IsIconic(first)) ShowWindowAsync(first, SW_RESTORE);
        SetForegroundWindow(first);
        return false;
    }

    const bool started = startWindows(reader);
    reader.close();
    return started;
}

bool Application::startWindows(SettingsFileReader& reader) {
    loadSettings(reader, settings_);
    uiDpi_ = dpiOf(nullptr);
    recreateUiFont();
    if (!Window::registerClass(instance_, ConvertWindow::kClassName) ||
        !Window::registerClass(instance_, SettingsWindow::kClassName) ||
        !Window::registerClass(instance_, ProgressWindow::kClassName) ||
        !Window::registerClass(instance_, BatchSession::kClassName))
        return false;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    if (!convertWindow_.create() || !settingsWindow_.create(convertWindow_.hwnd()) ||
        !session_.create())
        return false;
    updateResizeDependents();

    if (startedWithFiles_) {
        if (const FormatEntry* format = formatOfStartMode(nativeFormats(), settings_.startMode)) {
            // The settings file is still open for reading: it stays as it was.
            saveOnClose_ = false;
            runBatch(format->output);
        } else {
            ShowWindow(convertWindow_.hwnd(), SW_RESTORE);
            UpdateWindow(convertWindow_.hwnd());
        }
    } else {
        DragAcceptFiles(settingsWindow_.hwnd(), TRUE);
        ShowWindow(settingsWindow_.hwnd(), SW_SHOW);
    }
    return true;
}

int Application::runMessageLoop() {
    MSG message = {};
    BOOL result;
    while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (result == -1) return 0;
        if (translateKeyboard(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

bool Application::translateKeyboard(MSG& message) {
    if (!message.hwnd) return false;
    // The convert window: its letters wherever its focus is, then Tab, Enter
    // and Esc.
    if (convertWindow_.translateKeyboard(message)) return true;
    // Tab, the arrow keys in the radio group and Alt mnemonics in the
    // settings window.
    HWND settings = settingsWindow_.hwnd();
    if (settings && IsWindowVisible(settings) && IsDialogMessageW(settings, &message)) return true;
    // The progress window: Tab between the list and its button, Enter, Esc.
    HWND top = GetAncestor(message.hwnd, GA_ROOT);
    wchar_t className[64] = {};
    if (top && GetClassNameW(top, className, 64) &&
        lstrcmpW(className, ProgressWindow::kClassName) == 0)
        return IsDialogMessageW(top, &message) != FALSE;
    return false;
}

void Application::dispatchCommand(int id) {
    if (const FormatEntry* format = formatOfButton(nativeFormats(), static_cast<uint32_t>(id))) {
        runBatch(format->output);
        return;
    }
    switch (id) {
        case kIdResizeSwitch: {
            const bool on = convertWindow_.resizeChecked();
            settingsWindow_.setResizeSwitch(on);
            convertWindow_.enableJpegCopy(!on);
            // Back to the window, where the letters act; a switch worked
            // from the keyboard keeps the focus, so that Tab goes on from it.
            if (!convertWindow_.switchedByKeyboard()) SetFocus(convertWindow_.hwnd());
            break;
        }
        case kIdOpenSettings:
            pendingDrop_.clear();
            ShowWindow(settingsWindow_.hwnd(), SW_RESTORE);
            ShowWindow(convertWindow_.hwnd(), SW_HIDE);
            break;
        default:
            break;
    }
}

void Application::settingsConfirmed() {
    takeWindowValues();
    settingsWindow_.applySendToShortcut();
    if (!startedWithFiles_) {
        SendMessageW(convertWindow_.hwnd(), WM_CLOSE, 0, 0);
    } else {
        ShowWindow(convertWindow_.hwnd(), SW_RESTORE);
        ShowWindow(settingsWindow_.hwnd(), SW_HIDE);
    }
}

void Application::resizeSwitchChanged(bool on) {
    convertWindow_.setResizeChecked(on);
    convertWindow_.enableJpegCopy(!on);
}

void Application::openOptions(HWND owner) {
    runOptionsDialog(*this, owner);
}

void Application::changeLanguageAndFont(const char16_t* language, int32_t fontHeight) {
    settings_.fontHeight = fontHeight;
    // A library that cannot be loaded leaves the one in use.
    if (language) language_.switchTo(language, settings_.language, GetUserDefaultUILanguage());
    recreateUiFont();
    settingsWindow_.reapplyLanguage();
}

void Application::languageReapplied() {
    // The new font on every child of the convert window, its captions
    // reloaded.
    HWND convert = convertWindow_.hwnd();
    if (!convert) return;
    EnumChildWindows(
        convert,
        [](HWND child, LPARAM font) -> BOOL {
            SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(uiFont()));
    for (int id = IDS_CONVERT_BMP; id <= IDS_CONVERT_SETTINGS; ++id)
        SetDlgItemTextW(convert, id, language_.text(id));
    InvalidateRect(convert, nullptr, TRUE);
}

bool Application::recreateUiFont() {
    const UiText face = language_.text(IDS_UI_FONT_FACE);
    if (uiDpi_ == 96)
        designFont_.release();
    else
        designFont_.create(face, settings_.fontHeight);
    return font_.create(face, settings_.fontHeight, uiDpi_);
}

void Application::changeDpi(int dpi) {
    if (dpi == uiDpi_) return;
    uiDpi_ = dpi;
    recreateUiFont();
    convertWindow_.applyDpi();
    settingsWindow_.applyDpi();
    convertIcons_.apply(convertWindow_.hwnd(), instance_, dpi);
    settingsIcons_.apply(settingsWindow_.hwnd(), instance_, dpi);
}

void Application::updateResizeDependents() {
    const bool on = convertWindow_.resizeChecked();
    convertWindow_.enableJpegCopy(!on);
    settingsWindow_.setResizeSwitch(on);
}

void Application::takeWindowValues() {
    settingsWindow_.takeValues(settings_);
    if (convertWindow_.exists()) settings_.resizeOn = convertWindow_.resizeChecked() ? 1 : 0;
}

void Application::showError(UINT id, HWND owner) {
    const UiText title = language_.text(IDS_ERROR_TITLE);
    const UiText text = language_.text(id);
    showMessage_(owner, text, title, MB_ICONERROR | MB_SETFOREGROUND);
}

void Application::runBatch(OutputFormat format) {
    // One batch at a time: the windows are disabled while one runs.
    if (session_.busy()) return;
    if (pendingDrop_.active()) {
        auto sources = std::make_unique<SourceList>();
        sources->takeFrom(pendingDrop_);
        executeJob(std::move(sources), format, [this] {
            ShowWindow(settingsWindow_.hwnd(), SW_RESTORE);
            ShowWindow(convertWindow_.hwnd(), SW_HIDE);
        });
        return;
    }
    // Started without files and nothing dropped: there is nothing to convert.
    if (!startedWithFiles_) return;
    auto sources = std::make_unique<SourceList>();
    if (!collectArguments(*sources)) {
        showError(IDS_ERROR_OUT_OF_MEMORY, convertWindow_.hwnd());
        closeProgram();
        return;
    }
    // A command-line batch ends the program.
    executeJob(std::move(sources), format, [this] { closeProgram(); });
}

void Application::closeProgram() {
    if (convertWindow_.exists()) SendMessageW(convertWindow_.hwnd(), WM_CLOSE, 0, 0);
}

bool Application::collectArguments(SourceList& sources) const {
    uint32_t existing = 0;
    for (int i = 1; i <= fileArgumentCount_; ++i)
        if (platform::pathExists(utf16((*arguments_)[i]))) ++existing;
    if (!sources.allocate(existing)) return false;
    uint32_t next = 0;
    for (int i = 1; i <= fileArgumentCount_ && next < existing; ++i) {
        const char16_t* path = utf16((*arguments_)[i]);
        if (!platform::pathExists(path)) continue;
        if (!sources[next++].assign(path)) return false;
    }
    return true;
}

void Application::executeJob(std::unique_ptr<SourceList> sources, OutputFormat format,
                             std::function<void()> finished) {
    takeWindowValues();
    // Not one source exists: nothing can be produced.
    if (sources->count() == 0) {
        showError(IDS_ERROR_NOTHING_CONVERTED, settingsWindow_.hwnd());
        finished();
    } else if (!session_.start(std::move(sources), format, finished)) {
        showError(IDS_ERROR_OUT_OF_MEMORY, settingsWindow_.hwnd());
        finished();
    }
}

bool Application::receiveFiles(const COPYDATASTRUCT& data) {
    if (!session_.busy()) return false;
    auto files = std::make_unique<SourceList>();
    if (!readHandedOverFiles(data, *files)) return false;
    return session_.enqueue(std::move(files));
}

void Application::filesDropped(HDROP drop) {
    // A drop while a batch runs joins the queue behind it, by the same rules.
    if (session_.busy()) {
        const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        auto files = std::make_unique<SourceList>();
        bool listed = count > 0 && files->allocate(count);
        for (UINT i = 0; listed && i < count; ++i) listed = queryDroppedPath(drop, i, (*files)[i]);
        DragFinish(drop);
        if (listed && !platform::isDirectory((*files)[0].c_str()))
            session_.enqueue(std::move(files));
        return;
    }
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    bool listed = count > 0 && pendingDrop_.allocate(count);
    for (UINT i = 0; listed && i < count; ++i) listed = queryDroppedPath(drop, i, pendingDrop_[i]);
    DragFinish(drop);
    if (!listed) {
        pendingDrop_.clear();
        if (count > 0) showError(IDS_ERROR_OUT_OF_MEMORY, settingsWindow_.hwnd());
        return;
    }
    // A folder as the first item: the whole drop is ignored.
    if (platform::isDirectory(pendingDrop_[0].c_str())) {
        pendingDrop_.clear();
        return;
    }

    settings_.startMode = settingsWindow_.startModeSelection();
    if (const FormatEntry* format = formatOfStartMode(nativeFormats(), settings_.startMode)) {
        runBatch(format->output);
    } else {
        ShowWindow(convertWindow_.hwnd(), SW_RESTORE);
        ShowWindow(settingsWindow_.hwnd(), SW_HIDE);
    }
}

void Application::convertWindowClosing() {
    // Closed while converting: the files under way finish, no new one starts.
    session_.abandon();
    pendingDrop_.clear();
    if (saveOnClose_)
        saveAll();
    else
        language_.unload();
}

void Application::sessionEnding() {
    session_.abandon();
    pendingDrop_.clear();
    if (saveOnClose_) saveAll();
}

void Application::saveAll() {
    saveSettings(location_.settingsFile.c_str(), settings_);
    // The program is closing: no text is needed any more.
    language_.unload();
}

int runPirex(HINSTANCE instance) {
    if (!platform::privateHeap().valid()) return 0;
    (void)crc32Table();
    const int osClass = currentOsClass();
    ComApartment com;
    int exitCode = 0;
    {
        Application app(instance);
        app.helpEngine().initialize();
        ArgumentVector arguments;
        arguments.split();
        StartOptions options;
        options.osClass = osClass;
        options.arguments = &arguments;
        if (app.initialize(options)) exitCode = app.runMessageLoop();
        // Shutdown in order: arguments, help engine, COM, UI font.
        arguments.release();
        app.helpEngine().uninitialize();
        com.release();
        app.releaseFont();
    }
    return exitCode;
}

}  // namespace app
