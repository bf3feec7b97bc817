// The signals that carry processor exceptions: installing our handler in
// front of the previous actions, translating a fault into the device's
// exception record, and handing faults we do not keep back to those actions.
#include <execinfo.h>
#include <pthread.h>
#include <signal.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "ExceptionGuard.h"

namespace orvi::kernel {
namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr size_t kSignalCount = sizeof(kFaultSignals) / sizeof(kFaultSignals[0]);
// Frames between the handler and the faulting instruction: the handler's
// own, a sanitizer's interceptor and the kernel's signal trampoline.
constexpr int kHandlerFrames = 16;

// Written once, before our handler is installed; read-only afterwards.
struct sigaction s_previous[kSignalCount];
std::once_flag s_installed;

const struct sigaction& PreviousAction(int signal) {
    for (size_t i = 0; i < kSignalCount; ++i)
        if (kFaultSignals[i] == signal)
            return s_previous[i];
    return s_previous[0];  // not reached: only our signals come here
}

bool IsHandler(const struct sigaction& action) {
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void CallHandler(const struct sigaction& action, int signal, siginfo_t* info, void* ucontext) {
    if (action.sa_flags & SA_SIGINFO)
        action.sa_sigaction(signal, info, ucontext);
    else
        action.sa_handler(signal);
}

void RestoreDefault(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

uintptr_t FaultingPc(const ucontext_t* context, const siginfo_t* info) {
#if defined(__x86_64__)
    (void)info;
    return static_cast<uintptr_t>(context->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    (void)info;
    return static_cast<uintptr_t>(context->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    (void)info;
    return static_cast<uintptr_t>(context->uc_mcontext.pc);
#elif defined(__arm__)
    (void)info;
    return static_cast<uintptr_t>(context->uc_mcontext.arm_pc);
#else
    (void)context;
    return reinterpret_cast<uintptr_t>(info->si_addr);
#endif
}

// The page-fault error code says whether the access was a write (bit 1).
ULONG_PTR IsWriteAccess(const ucontext_t* context) {
#if defined(__x86_64__)
    return (context->uc_mcontext.gregs[REG_ERR] & 2) ? 1 : 0;
#else
    (void)context;
    return 0;
#endif
}

DWORD FloatingPointCode(int code) {
    switch (code) {
    case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
    case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
    case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
    case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
    case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
    default: return EXCEPTION_FLT_INVALID_OPERATION;
    }
}

DWORD ExceptionCodeFor(int signal, int code) {
    switch (signal) {
    case SIGSEGV: return EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS: return EXCEPTION_DATATYPE_MISALIGNMENT;
    case SIGILL: return EXCEPTION_ILLEGAL_INSTRUCTION;
    default: return FloatingPointCode(code);
    }
}

// The unwinder walks from the handler through the kernel's signal frame to
// the faulting instruction, whose address it reports exactly; everything
// before that entry belongs to the handler. When the walk does not get
// through the signal frame (a jump to an address without unwind data), the
// faulting address alone is the stack.
size_t CaptureFrames(uintptr_t pc, DWORD_PTR* frames) {
    void* raw[kMaxFaultFrames + kHandlerFrames];
    const int count = backtrace(raw, static_cast<int>(kMaxFaultFrames + kHandlerFrames));
    int first = -1;
    for (int i = 0; i < count && i < kHandlerFrames && first < 0; ++i)
        if (reinterpret_cast<uintptr_t>(raw[i]) == pc)
            first = i;
    if (first < 0) {
        frames[0] = pc;
        return 1;
    }
    size_t written = 0;
    for (int i = first; i < count && written < kMaxFaultFrames; ++i)
        frames[written++] = reinterpret_cast<DWORD_PTR>(raw[i]);
    return written;
}

}  // namespace

void InstallFaultHandlers(FaultHandler handler) {
    std::call_once(s_installed, [handler] {
        // The first backtrace loads the unwinder library, which allocates
        // and takes the loader's lock; it must not happen in the handler.
        void* warm[4];
        backtrace(warm, 4);
        for (size_t i = 0; i < kSignalCount; ++i) {
            sigaction(kFaultSignals[i], nullptr, &s_previous[i]);
            struct sigaction action {};
            action.sa_sigaction = handler;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            sigaction(kFaultSignals[i], &action, nullptr);
        }
    });
}

bool IsProcessorFault(const siginfo_t* info) { return info->si_code > 0; }

void CaptureFault(int signal, const siginfo_t* info, const void* ucontext, FaultCapture* capture) {
    const auto* context = static_cast<const ucontext_t*>(ucontext);
    const uintptr_t pc = FaultingPc(context, info);
    EXCEPTION_RECORD& record = capture->record;
    record.ExceptionCode = ExceptionCodeFor(signal, info->si_code);
    record.ExceptionFlags = 0;
    record.ExceptionRecord = nullptr;
    record.ExceptionAddress = reinterpret_cast<LPVOID>(pc);
    record.NumberParameters = 0;
    if (signal == SIGSEGV) {
        record.NumberParameters = 2;
        record.ExceptionInformation[0] = IsWriteAccess(context);
        record.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
    }
    capture->frameCount = CaptureFrames(pc, capture->frames);
    capture->signal = signal;
    capture->info = *info;
    capture->ucontext = *context;
}

void PassFaultOn(int signal, siginfo_t* info, void* ucontext) {
    const struct sigaction& previous = PreviousAction(signal);
    if (IsHandler(previous)) {
        CallHandler(previous, signal, info, ucontext);
        return;
    }
    // An ignored signal that was only sent stays ignored. A fault cannot be
    // ignored: the kernel applies the default action to it.
    if (previous.sa_handler == SIG_IGN && !IsProcessorFault(info))
        return;
    RestoreDefault(signal);
    if (!IsProcessorFault(info))
        raise(signal);  // pending until the handler returns
}

void RaiseUnhandledFault(FaultCapture* capture) {
    const int signal = capture->signal;
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    const struct sigaction& previous = PreviousAction(signal);
    if (IsHandler(previous))
        CallHandler(previous, signal, &capture->info, &capture->ucontext);
    RestoreDefault(signal);
    raise(signal);
    pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    std::abort();  // not reached: the default action of every fault signal ends the process
}

}  // namespace orvi::kernel
