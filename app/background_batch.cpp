#include "app/background_batch.h"

#include <algorithm>
#include <bit>
#include <system_error>

#include "app/text.h"

namespace app {

uint32_t processorCount() {
    DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    // A process held to fewer processors (start /affinity, a job object) gets
    // no more workers than it may run on: more would only take turns there.
    // The mask is empty for a process whose threads span processor groups.
    DWORD_PTR processMask = 0, systemMask = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) && processMask != 0)
        count = std::min<DWORD>(count, static_cast<DWORD>(std::popcount(processMask)));
    // The driver's queued-file slots bound the useful number of workers.
    return std::clamp<uint32_t>(count, 1, 64);
}

bool BackgroundBatch::start(HWND notify, Settings& settings, FallbackReader* fallback,
                            const SourceList& sources, OutputFormat format, uint32_t jobs,
                            const std::atomic<bool>* cancel) {
    join();
    notify_ = notify;
    reported_ = 0;
    produced_ = 0;
    errors_.clear();
    failures_.clear();
    try {
        thread_ = std::thread([this, &settings, fallback, &sources, format, jobs, cancel] {
            BatchDriver driver(settings, *this);
            driver.setFallbackReader(fallback);
            driver.setJobs(jobs);
            driver.setCancelFlag(cancel);
            ConvertJob job;
            job.sources = sources.data();
            job.count = sources.count();
            job.format = format;
            driver.executeJob(job);
            produced_ = driver.producedCount();
            announce(kMessageBatchEnded);
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void BackgroundBatch::join() {
    if (thread_.joinable()) thread_.join();
}

std::vector<FailedFile> BackgroundBatch::takeFailures() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::move(failures_);
}

void BackgroundBatch::showBatchError(BatchError error) {
    std::lock_guard<std::mutex> guard(lock_);
    errors_.push_back(error);
}

void BackgroundBatch::fileConverted(const char16_t*, const char16_t*) {
    ++reported_;
    announce(kMessageBatchProgress);
}

void BackgroundBatch::fileFailed(const char16_t* source, FileFailure failure, uint32_t codecStatus,
                                 uint32_t systemError) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        failures_.push_back({wide(source), failure, codecStatus, systemError});
    }
    ++reported_;
    announce(kMessageBatchProgress);
}

}  // namespace app
