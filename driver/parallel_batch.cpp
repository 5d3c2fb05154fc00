// The batch driver's loop over the sources with several workers: each
// worker is a driver of its own (its own codec contexts and working
// picture) that decodes, resizes and encodes into a temporary file; this
// thread takes the finished files back in source order and delivers them
// as the one-thread loop does, so names, bytes and reports stay the same.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "driver/batch_driver.h"
#include "driver/fallback_reader.h"
#include "driver/format_dispatch.h"
#include "driver/ordered_pipeline.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace {

// The fallback (the plug-in host) was written for one thread: one file at a time.
class SerializedFallback final : public FallbackReader {
  public:
    explicit SerializedFallback(FallbackReader& reader) : reader_(reader) {}
    bool read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record,
              FallbackReport& report) override {
        std::lock_guard<std::mutex> guard(lock_);
        return reader_.read(path, bytes, record, report);
    }

  private:
    FallbackReader& reader_;
    std::mutex lock_;
};

// Test hook: MORAVEL_TEST_SHUFFLE_SEED makes each conversion start after a
// pause of 0-20 ms drawn from the seed and the file's place, so that files
// finish out of order. It only delays; results are unchanged.
class ShuffleDelay {
  public:
    ShuffleDelay() {
        const char* seed = std::getenv("MORAVEL_TEST_SHUFFLE_SEED");
        if (seed && *seed) seed_ = std::strtoull(seed, nullptr, 10) | 1;
    }
    void before(uint32_t index) const {
        if (!seed_) return;
        uint64_t x = *seed_ ^ (0x9E3779B97F4A7C15ull * (index + 1));
        x ^= x >> 31;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 29;
        std::this_thread::sleep_for(std::chrono::milliseconds(x % 21));
    }

  private:
    std::optional<uint64_t> seed_;
};

}  // namespace

// What a worker hands back for one source: its temporary file, or why it failed.
struct BatchDriver::QueuedFile {
    HeapString tempFile;
    bool converted = false;
    FileFailure failure = FileFailure::Unreadable;
    uint32_t status = 0;
    ConversionNotes notes{};
};

bool BatchDriver::convertInParallel(const ConvertJob& job, OutputFormat format,
                                    const char16_t* tempFolder, const char16_t* outputFolder,
                                    const char16_t* extension) {
    const uint32_t wanted = std::min(jobs_, job.count);
    std::optional<SerializedFallback> fallback;
    if (fallback_) fallback.emplace(*fallback_);

    // A worker whose contexts cannot be had only means fewer workers.
    std::vector<std::unique_ptr<BatchDriver>> workers;
    for (uint32_t i = 0; i < wanted; ++i) {
        auto worker =
            std::unique_ptr<BatchDriver>(new (std::nothrow) BatchDriver(settings_, hooks_));
        if (!worker) break;
        worker->codecs_ = CodecContexts::create();
        if (!worker->codecs_) break;
        worker->fallback_ = fallback ? &*fallback : nullptr;
        workers.push_back(std::move(worker));
    }
    if (workers.size() < 2) return false;

    // Each file between its start and its delivery has a queued-file slot;
    // the window keeps the waiting ones few and the slots enough.
    PipelineShape shape;
    shape.workers = static_cast<uint32_t>(workers.size());
    shape.window = std::min<uint32_t>(2 * shape.workers, platform::kQueuedFileSlots);
    std::vector<QueuedFile> queue(shape.window);
    const ShuffleDelay shuffle;

    auto work = [&](uint32_t index, uint32_t workerIndex) {
        BatchDriver& worker = *workers[workerIndex];
        QueuedFile& slot = queue[index % shape.window];
        shuffle.before(index);
        worker.queuedSlot_ = static_cast<int>(index % shape.window);
        worker.lastFailure_ = FileFailure::Unreadable;
        worker.lastStatus_ = 0;
        worker.notes_ = {};
        slot.tempFile.clear();
        slot.converted =
            worker.convertOne(tempFolder, job.sources[index].c_str(), format, slot.tempFile);
        slot.failure = worker.lastFailure_;
        slot.status = worker.lastStatus_;
        slot.notes = worker.notes_;
    };
    // Delivery as in the one-thread loop of executeJob.
    auto take = [&](uint32_t index) {
        const char16_t* source = job.sources[index].c_str();
        QueuedFile& slot = queue[index % shape.window];
        const unsigned cleanupSlot = index % shape.window;
        if (!slot.converted) {
            platform::setQueuedFileCleanupPath(cleanupSlot, nullptr);
            hooks_.fileFailed(source, slot.failure, slot.status);
            return;
        }
        if (slot.notes.any()) hooks_.fileNotes(source, slot.notes);
        deliver(slot.tempFile.c_str(), source, outputFolder, extension);
        platform::deleteFile(slot.tempFile.c_str());
        platform::setQueuedFileCleanupPath(cleanupSlot, nullptr);
    };

    // An interrupt may reach any thread: the clean-up waits for a worker
    // between creating its temporary file and registering it.
    const uint32_t started = runOrderedPipeline(job.count, shape, work, take, cancel_);
    for (auto& worker : workers) {
        delete worker->codecs_;
        worker->codecs_ = nullptr;
    }
    return started > 0;
}
