// Internal contract between the exception guard (ExceptionGuard.cpp), the
// fault signals it catches (FaultSignals.cpp) and the call stack snapshot
// (CallStack.cpp).
#pragma once

#include <signal.h>
#include <ucontext.h>

#include <cstddef>

#include "excpt.h"

namespace orvi::kernel {

constexpr size_t kMaxFaultFrames = 128;

// One processor exception as the fault handler caught it. Trivially
// copyable: the handler fills it in place and an inner guard that passes the
// exception on copies it into the next guard's frame.
struct FaultCapture {
    EXCEPTION_RECORD record;
    CONTEXT context;
    EXCEPTION_POINTERS pointers;  // set when a filter is about to run
    DWORD_PTR frames[kMaxFaultFrames];  // innermost first, the faulting pc in frames[0]
    size_t frameCount;
    // The signal itself, kept so that an exception no guard handles can be
    // given to the action that was installed before ours.
    int signal;
    siginfo_t info;
    ucontext_t ucontext;
};

using FaultHandler = void (*)(int signal, siginfo_t* info, void* ucontext);

// Installs handler for SIGSEGV, SIGBUS, SIGILL and SIGFPE (SA_SIGINFO |
// SA_ONSTACK) on the first call in the process, after noting the actions it
// replaces and loading the unwinder, so that the handler never has to.
// Thread-safe; later calls do nothing.
void InstallFaultHandlers(FaultHandler handler);

// True for a fault the thread raised by executing (the kernel's si_code),
// false for the same signal sent by kill, tgkill or sigqueue.
bool IsProcessorFault(const siginfo_t* info);

// Async-signal-safe. Fills *capture from the signal: the device's code for
// it, the faulting instruction's address, the access violation's
// parameters, and the call stack from the faulting instruction outwards.
void CaptureFault(int signal, const siginfo_t* info, const void* ucontext, FaultCapture* capture);

// Async-signal-safe, inside the handler only. Hands the signal to the action
// that was installed before ours, so that the process sees it as if we had
// never been there. For the default action that action is reinstated: a
// fault then strikes again at the same instruction on return from the
// handler, a sent signal is raised again.
void PassFaultOn(int signal, siginfo_t* info, void* ucontext);

// Outside the handler, for an exception that no guard handled: gives the
// recorded signal to the previous action as the handler would have (with
// the signal blocked), then, should the process still live, ends it with
// the default action of that signal.
[[noreturn]] void RaiseUnhandledFault(FaultCapture* capture);

// The exception whose filter runs on the calling thread now; null outside
// filters. Async-signal-safe.
const FaultCapture* FilteredFault();

}  // namespace orvi::kernel
