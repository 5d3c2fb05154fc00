#include "app/batch_session.h"

#include "app/failure_words.h"
#include "app/language_library.h"
#include "app/shell.h"
#include "lang/resource_ids.h"
#include "plugins/plugin_host.h"

namespace app {

namespace {

// The progress window shows only for a batch that takes longer than this.
constexpr UINT kProgressDelayMs = 1000;
constexpr UINT_PTR kProgressTimer = 1;

const wchar_t* fileNameOf(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    return name;
}

}  // namespace

bool copySettings(const Settings& from, Settings& to) {
    to.language = from.language;
    to.fontHeight = from.fontHeight;
    to.jpegQuality = from.jpegQuality;
    to.jpegSubsampling = from.jpegSubsampling;
    to.jpegSizeLimitOn = from.jpegSizeLimitOn;
    to.jpegSizeLimitKiB = from.jpegSizeLimitKiB;
    to.resizeOn = from.resizeOn;
    to.resizeMode = from.resizeMode;
    to.resizeTarget = from.resizeTarget;
    to.outputFolder = from.outputFolder;
    to.subFolderOn = from.subFolderOn;
    to.subFolderName = from.subFolderName;
    to.pluginFolder = from.pluginFolder;
    to.startMode = from.startMode;
    to.sendToMigrated1 = from.sendToMigrated1;
    to.sendToMigrated2 = from.sendToMigrated2;
    to.keepTransparency = from.keepTransparency;
    to.disabledPlugins.clear();
    for (const NameList::Node* node = from.disabledPlugins.first(); node; node = node->next)
        if (!to.disabledPlugins.append(node->name.c_str(), node->name.length())) return false;
    // A string copy that memory refused leaves it empty while the original is not.
    return to.outputFolder.length() == from.outputFolder.length() &&
           to.subFolderName.length() == from.subFolderName.length() &&
           to.pluginFolder.length() == from.pluginFolder.length();
}

BatchSession::BatchSession(Shell& app)
    : app_(app),
      progress_(
          app, [this] { cancel(); },
          [this] {
              progress_.close();
              // Files sent while the list was read: their batch comes now.
              if (!startNext()) finish();
          }) {}

BatchSession::~BatchSession() {
    abandon();
}

bool BatchSession::create() {
    return Window::create(app_.instance(), kClassName, 0, 0, 0, 0, 0, 0, HWND_MESSAGE);
}

bool BatchSession::start(std::unique_ptr<SourceList> sources, OutputFormat format,
                         std::function<void()> finished) {
    if (busy_ || !exists() || !copySettings(app_.settings(), settings_)) return false;
    format_ = format;
    finished_ = std::move(finished);
    failures_.clear();
    doneBefore_ = 0;
    produced_ = 0;
    cancel_ = false;
    queue_.push_back(std::move(sources));
    busy_ = true;
    if (startNext()) return true;
    busy_ = false;
    queue_.clear();
    return false;
}

bool BatchSession::enqueue(std::unique_ptr<SourceList> sources) {
    if (!busy_) return false;
    queue_.push_back(std::move(sources));
    // A run that is only showing its failures starts the new files at once.
    if (!batch_.running() && progress_.listingFailures()) {
        progress_.close();
        startNext();
    } else {
        updateProgress();
    }
    return true;
}

bool BatchSession::startNext() {
    if (queue_.empty() || batch_.running()) return false;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    cancel_ = false;
    // Files no native reader takes go to the plug-ins of the plug-in folder.
    pluginHost_ = std::make_unique<PluginHost>(settings_.pluginFolder, settings_.disabledPlugins);
    setWindowsEnabled(false);
    if (!batch_.start(hwnd(), settings_, pluginHost_.get(), *current_, format_, processorCount(),
                      &cancel_)) {
        setWindowsEnabled(true);
        app_.showError(IDS_ERROR_OUT_OF_MEMORY, app_.settingsFrame());
        current_.reset();
        return !queue_.empty() && startNext();
    }
    if (!progress_.exists()) SetTimer(hwnd(), kProgressTimer, kProgressDelayMs, nullptr);
    updateProgress();
    return true;
}

void BatchSession::cancel() {
    cancel_ = true;
    queue_.clear();
    progress_.showCancelling();
    updateProgress();
}

void BatchSession::abandon() {
    cancel_ = true;
    queue_.clear();
    batch_.join();
    if (hwnd()) KillTimer(hwnd(), kProgressTimer);
    progress_.close();
    if (busy_) setWindowsEnabled(true);
    current_.reset();
    pluginHost_.reset();
    busy_ = false;
}

void BatchSession::batchEnded() {
    if (!current_) return;  // abandoned meanwhile
    batch_.join();
    pluginHost_.reset();
    // The driver drops a configured folder that has gone away, for good.
    if (settings_.outputFolder.empty()) app_.settings().outputFolder.clear();
    doneBefore_ += batch_.reported();
    produced_ += batch_.produced();
    for (FailedFile& failed : batch_.takeFailures()) failures_.push_back(std::move(failed));
    current_.reset();

    const bool listFailures = produced_ > 0 && !failures_.empty();
    if (queue_.empty() && !listFailures) {
        KillTimer(hwnd(), kProgressTimer);
        progress_.close();
    }
    setWindowsEnabled(true);
    // The batch's error boxes, as they would follow a batch on this thread.
    const std::vector<BatchError> errors = batch_.errors();
    for (BatchError error : errors) app_.showError(batchErrorStringId(error), app_.settingsFrame());
    if (startNext()) return;
    finish();
}

void BatchSession::finish() {
    KillTimer(hwnd(), kProgressTimer);
    if (produced_ > 0 && !failures_.empty() && !progress_.listingFailures()) {
        std::wstring lines;
        const LanguageLibrary& language = app_.language();
        for (const FailedFile& failed : failures_) {
            const std::wstring reason = failureWords(language, failed.failure, format_,
                                                     failed.codecStatus, failed.systemError);
            lines += fillIn(language.text(IDS_PROGRESS_FAILED_LINE),
                            fileNameOf(failed.path.c_str()), reason) +
                     L"\r\n";
        }
        showProgress();
        progress_.listFailures(produced_, doneBefore_, lines);
        failures_.clear();
        if (progress_.listingFailures()) return;  // Close ends the run
    }
    progress_.close();
    busy_ = false;
    if (finished_) {
        std::function<void()> finished = std::move(finished_);
        finished_ = nullptr;
        finished();
    }
}

void BatchSession::showProgress() {
    if (progress_.exists()) return;
    // Owned by the window the user sees; in a start mode neither shows.
    HWND convert = app_.convertFrame();
    HWND settings = app_.settingsFrame();
    HWND owner = IsWindowVisible(settings) ? settings : convert;
    progress_.open(owner, !IsWindowVisible(owner));
    updateProgress();
}

void BatchSession::updateProgress() {
    if (!progress_.exists()) return;
    const uint32_t reported = current_ ? batch_.reported() : 0;
    const uint32_t done = doneBefore_ + reported;
    const uint32_t total = doneBefore_ + (current_ ? current_->count() : 0) + queuedCount();
    const wchar_t* file = nullptr;
    if (current_ && reported < current_->count())
        file = fileNameOf(reinterpret_cast<const wchar_t*>((*current_)[reported].c_str()));
    progress_.update(done, total, file);
}

uint32_t BatchSession::queuedCount() const {
    uint32_t count = 0;
    for (const auto& list : queue_) count += list->count();
    return count;
}

void BatchSession::setWindowsEnabled(bool enabled) {
    if (HWND convert = app_.convertFrame()) EnableWindow(convert, enabled);
    if (HWND settings = app_.settingsFrame()) EnableWindow(settings, enabled);
}

LRESULT BatchSession::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kMessageBatchProgress:
            updateProgress();
            return 0;
        case kMessageBatchEnded:
            batchEnded();
            return 0;
        case WM_TIMER:
            if (wParam != kProgressTimer) break;
            KillTimer(hwnd(), kProgressTimer);
            if (batch_.running()) showProgress();
            return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace app
