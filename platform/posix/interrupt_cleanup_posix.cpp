// Interrupt clean-up on Linux: the handler itself unlinks the registered
// files, removes the folder when it is empty and leaves with _exit, all of
// them async-signal-safe calls on paths converted beforehand.
#include <signal.h>
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
volatile sig_atomic_t g_exitStatus = 130;

void removeRegistered() {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (!slot.armed) continue;
        if (i == static_cast<int>(CleanupItem::CreatedFolder))
            rmdir(slot.path);  // fails, as it should, unless the folder is empty
        else
            unlink(slot.path);
    }
}

void onInterrupt(int) {
    removeRegistered();
    _exit(g_exitStatus);
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
    Slot& slot = g_slots[static_cast<int>(item)];
    slot.armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (!path || !*path) return;
    const std::string text = toUtf8(path);
    if (text.size() + 1 > sizeof slot.path) return;
    std::memcpy(slot.path, text.c_str(), text.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.armed = 1;
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
}

InterruptDeferral::~InterruptDeferral() {
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
}

}  // namespace platform
