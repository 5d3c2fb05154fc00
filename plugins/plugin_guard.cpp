#include "plugins/plugin_guard.h"

#include <malloc.h>
#include <windows.h>
#include <xmmintrin.h>

// GCC offers no __try/__except. While a guarded call runs, a vectored
// exception handler is registered; when an exception reaches it on the
// guarded thread it redirects the thread to resumeAfterFault(), which jumps
// back to the point saved just before the call (__builtin_setjmp/longjmp).
// Nothing is unwound through the plug-in's frames, so a plug-in without
// unwind data, or one that has wrecked or overflowed its stack, is recovered
// as well.
// The handler finishes the exception dispatch normally (it returns
// EXCEPTION_CONTINUE_EXECUTION with a changed context) rather than jumping
// out of the dispatcher.

namespace {

struct ActiveGuard {
    void* jump[5];          // __builtin_setjmp buffer
    uintptr_t resumeStack;  // stack pointer for resumeAfterFault
    DWORD code;
    bool resuming;
};

// Stack a stack overflow leaves for the exception's dispatch and our
// handler: the system keeps this much below the guard page for it.
constexpr ULONG kStackForHandler = 64 * 1024;

// The thread-local slot holding the guard running on a thread, if any: the
// handler is process-wide and is called for exceptions of every thread. A
// Win32 slot, because reading it allocates nothing, whatever state the
// faulting thread left the heap in.
DWORD guardSlot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}

ActiveGuard* activeGuard() {
    return static_cast<ActiveGuard*>(TlsGetValue(guardSlot()));
}

[[noreturn]] __attribute__((noinline)) void resumeAfterFault() {
    __builtin_longjmp(activeGuard()->jump, 1);
}

// Exceptions that report to a debugger and expect to be left alone
// (OutputDebugString, thread naming); they are not faults. Every other
// exception counts, even a C++ exception the plug-in would have caught
// itself: letting one pass would let an uncaught one unwind through the
// host's frames, or end the program.
bool isDebuggerNotice(DWORD code) {
    return code == 0x40010006 || code == 0x4001000A || code == 0x406D1388;
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
    ActiveGuard* guard = activeGuard();
    if (!guard || guard->resuming) return EXCEPTION_CONTINUE_SEARCH;
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    if (isDebuggerNotice(code)) return EXCEPTION_CONTINUE_SEARCH;
    guard->code = code;
    guard->resuming = true;
    CONTEXT* context = pointers->ContextRecord;
    context->Rsp = guard->resumeStack;
    context->Rip = reinterpret_cast<DWORD64>(&resumeAfterFault);
    context->EFlags &= ~DWORD{0x400};  // direction flag clear, as the ABI expects
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Floating-point control state: a plug-in may change it and never restore it.
struct FloatingPointState {
    unsigned int mxcsr;
    unsigned short x87Control;
    void save() {
        mxcsr = _mm_getcsr();
        __asm__ volatile("fnstcw %0" : "=m"(x87Control));
    }
    void restore() const {
        _mm_setcsr(mxcsr);
        __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(x87Control));
    }
};

}  // namespace

__attribute__((noinline)) bool runGuarded(void (*body)(void*), void* context, uint32_t& faultCode) {
    faultCode = 0;
    ActiveGuard guard{};
    // resumeAfterFault runs below this frame, in the abandoned frames of the
    // plug-in, and needs only a few bytes (16-byte aligned less the return
    // address slot, as at any function entry).
    const uintptr_t here = reinterpret_cast<uintptr_t>(&guard);
    guard.resumeStack = ((here - 512) & ~uintptr_t{15}) - 8;

    FloatingPointState floatingPoint;
    floatingPoint.save();
    if (guardSlot() == TLS_OUT_OF_INDEXES) return false;
    // Only ever raises the thread's guarantee; needed before an overflow.
    ULONG stackForHandler = kStackForHandler;
    SetThreadStackGuarantee(&stackForHandler);
    ActiveGuard* volatile previous = activeGuard();
    PVOID volatile handler = AddVectoredExceptionHandler(1, onException);
    if (!handler) return false;
    TlsSetValue(guardSlot(), &guard);

    volatile bool completed = false;
    if (__builtin_setjmp(guard.jump) == 0) {
        body(context);
        completed = true;
    }
    TlsSetValue(guardSlot(), previous);
    RemoveVectoredExceptionHandler(handler);
    floatingPoint.restore();
    if (!completed) faultCode = guard.code;
    // An overflow used up the stack's guard page: without a new one the next
    // overflow on this thread would end the process instead of raising.
    if (!completed && guard.code == EXCEPTION_STACK_OVERFLOW) _resetstkoflw();
    return completed;
}
