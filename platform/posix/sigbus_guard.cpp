// SIGBUS from a shortened mapped source: replace the missing pages and carry
// on. No jump leaves the reader's frames (libjpeg keeps its own long jump),
// so every reader still unmaps and frees as usual, and the driver fails the
// file afterwards.
#include "platform/posix/sigbus_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

namespace platform {

namespace {

// The views guarded on one thread; the handler runs on the faulting thread,
// so it sees exactly these. Plain data: thread_local without constructors
// needs no lazy set-up that a signal handler could trip over.
struct GuardedView {
    volatile uintptr_t start;
    volatile size_t size;
    volatile int protection;
};
constexpr int kGuardedViews = 4;
thread_local GuardedView t_views[kGuardedViews];
thread_local volatile sig_atomic_t t_shortened;

// Set once when the handler is installed; read-only afterwards.
struct sigaction g_previous;
uintptr_t g_pageSize = 4096;
std::once_flag g_installOnce;

void passOn(int signal, siginfo_t* info, void* context) {
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (!(g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_handler != SIG_DFL &&
        g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // The default action: end the process as SIGBUS always did. The signal
    // stays blocked until this handler returns, then kills.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigaction(SIGBUS, &standard, nullptr);
    raise(SIGBUS);
}

void onSigbus(int signal, siginfo_t* info, void* context) {
    if (info && info->si_code == BUS_ADRERR) {
        const uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
        for (GuardedView& view : t_views) {
            const uintptr_t start = view.start;
            const uintptr_t end = start + view.size;
            if (start == 0 || address < start || address >= end) continue;
            // Every page from here to the end of the view lies past the new
            // end of the file: zero pages for all of them at once.
            const uintptr_t page = address & ~(g_pageSize - 1);
            void* zeros = mmap(reinterpret_cast<void*>(page), end - page, view.protection,
                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (zeros == MAP_FAILED) break;
            t_shortened = 1;
            return;
        }
    }
    passOn(signal, info, context);
}

void installHandler() {
    g_pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onSigbus;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
}

}  // namespace

void guardMappedView(void* view, size_t size, bool writable) {
    std::call_once(g_installOnce, installHandler);
    for (GuardedView& slot : t_views) {
        if (slot.start != 0) continue;
        slot.size = size;
        slot.protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
        slot.start = reinterpret_cast<uintptr_t>(view);
        break;
    }
}

void unguardMappedView(void* view) {
    for (GuardedView& slot : t_views)
        if (slot.start == reinterpret_cast<uintptr_t>(view)) slot.start = 0;
}

bool takeShortenedSource() {
    const bool shortened = t_shortened != 0;
    t_shortened = 0;
    return shortened;
}

}  // namespace platform
