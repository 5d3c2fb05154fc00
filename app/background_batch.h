// One batch on a thread of its own, so that the UI thread keeps answering.
// The driver runs there with one worker per processor; its reports are kept
// here under a lock and announced to a window of the UI thread by posted
// messages. No text is worded and no window is touched on that thread: the
// language library and COM stay with the UI thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/source_list.h"
#include "driver/batch_driver.h"
#include "driver/fallback_reader.h"

namespace app {

// Posted to the notify window: wParam 0. A delivery was reported (progress).
inline constexpr UINT kMessageBatchProgress = WM_APP + 1;
// Posted once when the batch has ended; join() then returns at once.
inline constexpr UINT kMessageBatchEnded = WM_APP + 2;

struct FailedFile {
    std::wstring path;
    FileFailure failure = FileFailure::Unreadable;
    uint32_t codecStatus = 0;
    uint32_t systemError = 0;
};

class BackgroundBatch final : private BatchHooks {
  public:
    BackgroundBatch() = default;
    ~BackgroundBatch() { join(); }
    BackgroundBatch(const BackgroundBatch&) = delete;
    BackgroundBatch& operator=(const BackgroundBatch&) = delete;

    // Starts converting `sources` with `settings` (kept unchanged by the
    // caller until join). False when no thread can be had; nothing ran then.
    bool start(HWND notify, Settings& settings, FallbackReader* fallback, const SourceList& sources,
               OutputFormat format, uint32_t jobs, const std::atomic<bool>* cancel);
    void join();
    bool running() const { return thread_.joinable(); }

    // Sources reported (converted or failed) so far, in source order.
    uint32_t reported() const { return reported_.load(); }
    // After join: what the batch left for the UI thread.
    uint32_t produced() const { return produced_; }
    const std::vector<BatchError>& errors() const { return errors_; }
    std::vector<FailedFile> takeFailures();

  private:
    void showBatchError(BatchError error) override;
    void fileConverted(const char16_t* source, const char16_t* output) override;
    void fileFailed(const char16_t* source, FileFailure failure, uint32_t codecStatus,
                    uint32_t systemError) override;
    void announce(UINT message) { PostMessageW(notify_, message, 0, 0); }

    HWND notify_ = nullptr;
    std::thread thread_;
    std::atomic<uint32_t> reported_{0};
    uint32_t produced_ = 0;
    std::mutex lock_;
    std::vector<BatchError> errors_;
    std::vector<FailedFile> failures_;
};

// Files converted at once: one per processor the process may run on.
uint32_t processorCount();

}  // namespace app
