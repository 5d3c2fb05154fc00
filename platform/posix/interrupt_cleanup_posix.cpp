// Interrupt clean-up on Linux: the handler itself unlinks the registered
// files, removes the folder when it is empty and leaves with _exit, all of
// them async-signal-safe calls on paths converted beforehand.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "platform/interrupt_cleanup.h"
#include "platform/utf8.h"

namespace platform {

namespace {

struct Slot {
    volatile sig_atomic_t armed;
    char path[4096];
};
constexpr int kSlots = 3;
Slot g_slots[kSlots];
Slot g_queuedSlots[kQueuedFileSlots];
volatile sig_atomic_t g_exitStatus = 130;

// The handshake between deferrals on any thread and the handler: either a
// deferral sees `g_stopping` and waits for the end, or the handler sees the
// deferral and waits until it is over. Lock-free atomics are safe in a
// signal handler.
std::atomic<bool> g_stopping{false};
std::atomic<int> g_deferrals{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void removeRegistered() {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.armed && i != static_cast<int>(CleanupItem::CreatedFolder)) unlink(slot.path);
    }
    for (Slot& slot : g_queuedSlots)
        if (slot.armed) unlink(slot.path);
    // The folder last; it goes only when it is empty.
    Slot& folder = g_slots[static_cast<int>(CleanupItem::CreatedFolder)];
    if (folder.armed) rmdir(folder.path);
}

void pauseBriefly() {
    const struct timespec millisecond = {0, 1000000};
    nanosleep(&millisecond, nullptr);
}

void onInterrupt(int) {
    g_stopping = true;
    // Another thread between creating a file and registering it finishes first.
    while (g_deferrals.load() > 0) pauseBriefly();
    removeRegistered();
    _exit(g_exitStatus);
}

void armSlot(Slot& slot, const char16_t* path) {
    slot.armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (!path || !*path) return;
    const std::string text = toUtf8(path);
    if (text.size() + 1 > sizeof slot.path) return;
    std::memcpy(slot.path, text.c_str(), text.size() + 1);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    slot.armed = 1;
}

}  // namespace

void installInterruptCleanup(int exitStatus) {
    g_exitStatus = exitStatus;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigfillset(&action.sa_mask);  // one clean-up at a time
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous {};
        // A signal ignored at start-up (nohup, background jobs) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

void setCleanupPath(CleanupItem item, const char16_t* path, NativeHandle) {
    armSlot(g_slots[static_cast<int>(item)], path);
}

void setQueuedFileCleanupPath(unsigned slot, const char16_t* path) {
    if (slot < kQueuedFileSlots) armSlot(g_queuedSlots[slot], path);
}

void runInterruptCleanup() {
    removeRegistered();
}

namespace {
sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
    return set;
}
}  // namespace

// A signal that arrives meanwhile waits and is handled when the mask goes
// back, by which time the new file is registered.
InterruptDeferral::InterruptDeferral() {
    static_assert(sizeof(sigset_t) <= sizeof saved_);
    const sigset_t block = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &block, reinterpret_cast<sigset_t*>(saved_));
    ++g_deferrals;
    if (g_stopping) {
        --g_deferrals;
        for (;;) pause();  // the handler is ending the process
    }
}

InterruptDeferral::~InterruptDeferral() {
    --g_deferrals;
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
}

}  // namespace platform
