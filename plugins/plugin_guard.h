// Calls into plug-in code behind a structured-exception guard: an access
// violation, a division by zero, a stack overflow or any exception raised
// while the plug-in runs comes back to the caller as a failed call instead of
// ending the program. After an overflow the thread's stack guard is set again,
// so the next overflow is caught as well.
//
// Not for loading a library: a fault in its DllMain is caught by the system's
// loader, which has to unwind its own frames (and release the loader lock);
// a guard jumping past them would leave the loader locked and half done.
#pragma once

#include <cstdint>

// Runs body(context) on this thread. True when the body returned normally;
// false when an exception was raised while it ran (faultCode then holds the
// exception code), or when the guard could not be set up (faultCode 0, the
// body was not run). Only plain calls belong in a body: after a fault the
// body's frames are abandoned, not unwound, so nothing in them is destroyed.
bool runGuarded(void (*body)(void*), void* context, uint32_t& faultCode);

// Convenience form for a lambda that makes one plug-in call.
template <typename Call>
bool runGuarded(Call& call, uint32_t& faultCode) {
    return runGuarded([](void* c) { (*static_cast<Call*>(c))(); }, &call, faultCode);
}
