#include "driver/parallel_batch.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "driver/fallback_reader.h"
#include "driver/file_converter.h"
#include "driver/ordered_pipeline.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace {

// The fallback (the plug-in host) was written for one thread: one file at a time.
class SerializedFallback final : public FallbackReader {
  public:
    explicit SerializedFallback(FallbackReader& reader) : reader_(reader) {}
    ReadResult read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record) override {
        std::lock_guard<std::mutex> guard(lock_);
        return reader_.read(path, bytes, record);
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

void convertInSequence(const BatchFiles& files, FileConverter& converter, FileFinisher& finisher) {
    FileConversion file;
    for (uint32_t i = 0; i < files.count; ++i) {
        if (files.cancel && files.cancel->load(std::memory_order_relaxed)) break;
        const char16_t* source = files.sources[i].c_str();
        converter.convert(files.tempFolder, source, files.format, files.switches, kSingleTempSlot,
                          file);
        finisher.finish(source, file, kSingleTempSlot);
    }
}

bool convertInParallel(const BatchFiles& files, uint32_t jobs, const Settings& settings,
                       FallbackReader* fallbackReader, FileFinisher& finisher) {
    const uint32_t wanted = std::min(jobs, files.count);
    std::optional<SerializedFallback> fallback;
    if (fallbackReader) fallback.emplace(*fallbackReader);

    // A worker whose converter cannot be had only means fewer workers.
    std::vector<std::unique_ptr<FileConverter>> workers;
    for (uint32_t i = 0; i < wanted; ++i) {
        auto worker =
            FileConverter::create(settings, files.formats, fallback ? &*fallback : nullptr);
        if (!worker) break;
        workers.push_back(std::move(worker));
    }
    if (workers.size() < 2) return false;

    // Each file between its start and its delivery has a queued-file slot;
    // the window keeps the waiting ones few and the slots enough.
    PipelineShape shape;
    shape.workers = static_cast<uint32_t>(workers.size());
    shape.window = std::min<uint32_t>(2 * shape.workers, platform::kQueuedFileSlots);
    std::vector<FileConversion> queue(shape.window);
    const ShuffleDelay shuffle;

    auto work = [&](uint32_t index, uint32_t workerIndex) {
        shuffle.before(index);
        const int slot = static_cast<int>(index % shape.window);
        workers[workerIndex]->convert(files.tempFolder, files.sources[index].c_str(), files.format,
                                      files.switches, slot, queue[slot]);
    };
    auto take = [&](uint32_t index) {
        const int slot = static_cast<int>(index % shape.window);
        finisher.finish(files.sources[index].c_str(), queue[slot], slot);
    };

    // An interrupt may reach any thread: the clean-up waits for a worker
    // between creating its temporary file and registering it.
    return runOrderedPipeline(files.count, shape, work, take, files.cancel) > 0;
}
