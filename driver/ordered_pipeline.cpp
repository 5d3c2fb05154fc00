#include "driver/ordered_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

class Pipeline {
  public:
    Pipeline(uint32_t count, uint32_t window, const std::function<void(uint32_t, uint32_t)>& work,
             const std::atomic<bool>* stop)
        : count_(count), window_(window), work_(work), stop_(stop), done_(count, 0) {}

    void workerLoop(uint32_t worker) {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            // The next item starts only while the window has room for it.
            workersWake_.wait(lock, [&] { return next_ >= count_ || next_ < taken_ + window_; });
            if (next_ >= count_) return;
            // Stopped: no item starts from now on, and the taker learns
            // where the run ends.
            if (stopped()) {
                count_ = next_;
                takerWakes_.notify_one();
                workersWake_.notify_all();
                return;
            }
            const uint32_t index = next_++;
            lock.unlock();
            work_(index, worker);
            lock.lock();
            done_[index] = 1;
            takerWakes_.notify_one();
        }
    }

    void takeInOrder(const std::function<void(uint32_t)>& take) {
        for (uint32_t index = 0;; ++index) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                takerWakes_.wait(lock, [&] { return index >= count_ || done_[index] != 0; });
                if (index >= count_) return;
            }
            take(index);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++taken_;
            }
            workersWake_.notify_all();
        }
    }

  private:
    bool stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }

    uint32_t count_;  // lowered to the items started when the run is stopped
    const uint32_t window_;
    const std::function<void(uint32_t, uint32_t)>& work_;
    const std::atomic<bool>* stop_;
    std::mutex mutex_;
    std::condition_variable workersWake_;
    std::condition_variable takerWakes_;
    uint32_t next_ = 0;   // first item no worker has taken
    uint32_t taken_ = 0;  // items handed back
    std::vector<char> done_;
};

}  // namespace

uint32_t runOrderedPipeline(uint32_t count, PipelineShape shape,
                            const std::function<void(uint32_t index, uint32_t worker)>& work,
                            const std::function<void(uint32_t index)>& take,
                            const std::atomic<bool>* stop) {
    const uint32_t workers = std::max<uint32_t>(shape.workers, 1);
    Pipeline pipeline(count, std::max(shape.window, workers), work, stop);
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (uint32_t worker = 0; worker < workers; ++worker) {
        // A thread the system refuses only means fewer workers.
        try {
            threads.emplace_back([&pipeline, worker] { pipeline.workerLoop(worker); });
        } catch (const std::system_error&) {
            break;
        }
    }
    if (!threads.empty()) pipeline.takeInOrder(take);
    for (std::thread& thread : threads) thread.join();
    return static_cast<uint32_t>(threads.size());
}
