// Work spread over several threads whose results are taken back one by one
// in their original order: item i is handed back only after items 0..i-1,
// whatever order the threads finish in.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

struct PipelineShape {
    uint32_t workers = 1;  // threads converting at once
    // Items converting or converted but not yet taken back, at most; never
    // fewer than `workers`. Bounds what waits for its turn.
    uint32_t window = 1;
};

// Runs `work(index, worker)` for every index in [0, count) on up to
// `shape.workers` threads (worker: 0 .. started threads - 1, one thread per
// worker number), and `take(index)` on the calling thread strictly in index
// order, each as soon as its work is done. Returns the number of threads
// started; 0 means none could be started and nothing ran.
//
// `stop` (optional), once set, starts no further item: the items already
// started are finished and taken back in order, and the run ends after the
// last of them, so what was taken is always the items 0 .. n-1 for some n.
uint32_t runOrderedPipeline(uint32_t count, PipelineShape shape,
                            const std::function<void(uint32_t index, uint32_t worker)>& work,
                            const std::function<void(uint32_t index)>& take,
                            const std::atomic<bool>* stop = nullptr);
