// What an interrupted batch must not leave behind: the temporary file being
// written, the hidden copy in the output folder, and an empty sub-folder the
// batch created. The driver registers them as they come and go; Ctrl+C,
// SIGINT or SIGTERM (Windows: Ctrl+C, Ctrl+Break, closing the console) then
// removes them and ends the process at once with the given exit status.
//
// The paths live in fixed process-wide slots because a signal handler can
// reach nothing else: it may not allocate, lock or unwind.
#pragma once

#include "platform/platform.h"

namespace platform {

enum class CleanupItem { TemporaryFile, DeliveryFile, CreatedFolder };

// Routes the interrupt signals to the clean-up. Without this call nothing is
// installed and interrupts keep their default action.
void installInterruptCleanup(int exitStatus);

// Registers `path` as the current `item` (null or empty forgets it). `open`
// is a handle of the file this process still holds (Windows closes it before
// deleting the file).
void setCleanupPath(CleanupItem item, const char16_t* path, NativeHandle open = kNoHandle);

// A batch converted by several workers holds several temporary files at once:
// each file waiting between its conversion and its delivery has a slot of
// its own (slot < kQueuedFileSlots); null or empty forgets it.
inline constexpr unsigned kQueuedFileSlots = 128;
void setQueuedFileCleanupPath(unsigned slot, const char16_t* path);

// Removes what is registered, as an interrupt would, without ending the
// process (for tests).
void runInterruptCleanup();

// Holds interrupts back while it lives: a file is created and registered
// inside one, so that no interrupt falls between the two. It holds them back
// for the whole process, whichever thread holds it.
class InterruptDeferral {
  public:
    InterruptDeferral();
    ~InterruptDeferral();
    InterruptDeferral(const InterruptDeferral&) = delete;
    InterruptDeferral& operator=(const InterruptDeferral&) = delete;

  private:
    [[maybe_unused]] unsigned char saved_[128];  // the signal mask on Linux
};

// Registers a path for as long as the object lives.
class ScopedCleanupPath {
  public:
    ScopedCleanupPath(CleanupItem item, const char16_t* path, NativeHandle open = kNoHandle)
        : item_(item) {
        setCleanupPath(item, path, open);
    }
    ~ScopedCleanupPath() { setCleanupPath(item_, nullptr); }
    ScopedCleanupPath(const ScopedCleanupPath&) = delete;
    ScopedCleanupPath& operator=(const ScopedCleanupPath&) = delete;

  private:
    CleanupItem item_;
};

}  // namespace platform
