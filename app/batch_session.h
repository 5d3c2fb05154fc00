// The batches of one run: the batch that was started, then every file list
// handed over or dropped while it ran, each converted after the one before
// with the same settings and format. The driver works on a thread of its own
// (BackgroundBatch); this side stays on the UI thread, where it keeps the
// program's windows disabled for input (they still repaint and answer),
// shows the progress window after a second, shows each batch's error boxes
// when that batch has ended, just as a batch on the UI thread would, and at
// the end lists the failed files when others were converted.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/background_batch.h"
#include "app/progress_window.h"
#include "app/source_list.h"
#include "app/window.h"
#include "core/settings.h"

class PluginHost;

namespace app {

class Shell;

class BatchSession : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"Pirex_batch_class";

    explicit BatchSession(Shell& app);
    ~BatchSession() override;

    // The message-only window that hears from the batch thread.
    bool create();
    // From the first batch until the last has ended and its failures were
    // read: files sent meanwhile are queued.
    bool busy() const { return busy_; }

    // Starts a run with the program's settings as they are now (the caller
    // took the windows' values) and `format`; `finished` runs on the UI
    // thread once the run is over. False when the run could not start.
    bool start(std::unique_ptr<SourceList> sources, OutputFormat format,
               std::function<void()> finished);
    // Files sent while a run is busy: converted after it. False when idle.
    bool enqueue(std::unique_ptr<SourceList> sources);
    // No new file starts; the files queued behind are dropped.
    void cancel();
    // The program is closing: cancel, wait for the thread, show nothing.
    void abandon();

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    bool startNext();
    void batchEnded();
    void finish();
    void showProgress();
    void updateProgress();
    void setWindowsEnabled(bool enabled);
    uint32_t queuedCount() const;

    Shell& app_;
    Settings settings_;  // the run's copy: the batch thread reads it
    OutputFormat format_ = OutputFormat::Bmp;
    std::function<void()> finished_;
    std::unique_ptr<SourceList> current_;
    std::deque<std::unique_ptr<SourceList>> queue_;
    std::unique_ptr<PluginHost> pluginHost_;
    BackgroundBatch batch_;
    std::atomic<bool> cancel_{false};
    ProgressWindow progress_;
    std::vector<FailedFile> failures_;
    uint32_t doneBefore_ = 0;  // sources of the run's batches that have ended
    uint32_t produced_ = 0;
    bool busy_ = false;
};

// A copy of every setting; false when memory is refused.
bool copySettings(const Settings& from, Settings& to);

}  // namespace app
