// Interrupt clean-up on Windows. The console control handler runs on a
// thread of its own while the batch goes on; files the program writes are
// shared for deletion, so they can be deleted while still open, and the
// process then ends without running anything else (TerminateProcess), which
// closes the remaining handles and so completes the deletions.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "platform/interrupt_cleanup.h"

namespace platform {

namespace {

struct Slot {
    std::atomic<bool> armed{false};
    std::atomic<NativeHandle> open{kNoHandle};
    wchar_t path[MAX_PATH + 64];
};
constexpr int kSlots = 3;
Slot g_slots[kSlots];
Slot g_queuedSlots[kQueuedFileSlots];
std::atomic<int> g_exitStatus{130};
// Held while a slot changes; the handler takes it for good, so the batch
// cannot swap a path under it while the process is ending.
std::atomic_flag g_slotsBusy = ATOMIC_FLAG_INIT;

void lockSlots() {
    while (g_slotsBusy.test_and_set(std::memory_order_acquire)) Sleep(0);
}

// The handshake between a deferral on the batch's thread and the handler:
// either the batch sees `g_stopping` and waits for the end, or the handler
// sees the deferral and waits until it is over.
std::atomic<bool> g_stopping{false};
std::atomic<int> g_deferrals{0};

void removeRegistered() {
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (!slot.armed) continue;
        if (i == static_cast<int>(CleanupItem::CreatedFolder)) {
            RemoveDirectoryW(slot.path);  // only an empty folder goes
            continue;
        }
        const NativeHandle open = slot.open.exchange(kNoHandle);
        if (open != kNoHandle) CloseHandle(reinterpret_cast<HANDLE>(open));
        DeleteFileW(slot.path);
    }
    for (Slot& slot : g_queuedSlots)
        if (slot.armed) DeleteFileW(slot.path);
}

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    g_stopping = true;
    while (g_deferrals.load() > 0) Sleep(1);
    lockSlots();
    removeRegistered();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(g_exitStatus.load()));
    return TRUE;
}

}  // namespace

void installInterruptCleanup(int exitStatus) {
    g_exitStatus = exitStatus;
    SetConsoleCtrlHandler(onControl, TRUE);
}

namespace {
void armSlot(Slot& slot, const char16_t* path, NativeHandle open) {
    lockSlots();
    slot.armed = false;
    slot.open = kNoHandle;
    const size_t length = textLength(path);
    if (length > 0 && length + 1 <= sizeof slot.path / sizeof slot.path[0]) {
        std::memcpy(slot.path, path, (length + 1) * sizeof(char16_t));
        slot.open = open;
        slot.armed = true;
    }
    g_slotsBusy.clear(std::memory_order_release);
}
}  // namespace

void setCleanupPath(CleanupItem item, const char16_t* path, NativeHandle open) {
    armSlot(g_slots[static_cast<int>(item)], path, open);
}

void setQueuedFileCleanupPath(unsigned slot, const char16_t* path) {
    if (slot < kQueuedFileSlots) armSlot(g_queuedSlots[slot], path, kNoHandle);
}

InterruptDeferral::InterruptDeferral() {
    ++g_deferrals;
    if (g_stopping) {
        --g_deferrals;
        Sleep(INFINITE);  // the handler is ending the process
    }
}

InterruptDeferral::~InterruptDeferral() {
    --g_deferrals;
}

void runInterruptCleanup() {
    lockSlots();
    removeRegistered();
    g_slotsBusy.clear(std::memory_order_release);
}

}  // namespace platform
