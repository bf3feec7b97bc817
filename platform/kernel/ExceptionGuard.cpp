// CallGuarded: a per-thread chain of guards, the fault handler that jumps
// back to the innermost one, and the alternate signal stack a guarded
// thread runs its handlers on.
//
// The handler does no more than record the fault and jump; the filter runs
// afterwards in ordinary context on the thread's stack, where it may
// allocate, lock and log. Only the thread's own state is touched, so guards
// on different threads never meet.
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ExceptionGuard.h"
#include "internal.h"

namespace orvi::kernel {
namespace {

constexpr size_t kSignalStackBytes = 64 * 1024;

struct GuardFrame {
    GuardFrame* outer;
    unsigned depth;                       // guards of this thread around this one
    const FaultCapture* filteredAtEntry;  // the filter this guard runs inside, if any
    PEXCEPTION_FILTER filter;
    LPVOID filterContext;
    sigjmp_buf jump;
    FaultCapture fault;
};

// Plain data with initial-exec storage: the fault handler reads it, which
// must neither allocate nor run a constructor.
struct ThreadGuards {
    GuardFrame* innermost;
    const FaultCapture* filtered;
    unsigned depth;       // CallGuarded calls active on this thread
    void* ownStack;       // the alternate stack we installed, with its guard page
    size_t ownStackBytes;
};
thread_local ThreadGuards t_guards __attribute__((tls_model("initial-exec"))) = {};

size_t PageBytes() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// A thread that already has an alternate stack (AddressSanitizer gives every
// thread one) keeps it; otherwise ours goes in, with a guard page below it.
void SetUpSignalStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return;
    const size_t bytes = std::max<size_t>(kSignalStackBytes, SIGSTKSZ);
    const size_t page = PageBytes();
    void* base = mmap(nullptr, bytes + page, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) {
        Trace("CallGuarded: no alternate signal stack (errno %d)", errno);
        return;
    }
    mprotect(base, page, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(base) + page;
    stack.ss_size = bytes;
    if (sigaltstack(&stack, nullptr) != 0) {
        Trace("CallGuarded: sigaltstack failed (errno %d)", errno);
        munmap(base, bytes + page);
        return;
    }
    t_guards.ownStack = base;
    t_guards.ownStackBytes = bytes + page;
}

void RemoveSignalStack() {
    if (!t_guards.ownStack)
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(t_guards.ownStack, t_guards.ownStackBytes);
    t_guards.ownStack = nullptr;
}

void EnterGuard() {
    if (t_guards.depth++ == 0)
        SetUpSignalStack();
}

void LeaveGuard() {
    if (--t_guards.depth == 0)
        RemoveSignalStack();
}

// Faults of the thread inside a guard jump to the innermost guard; the rest
// go where they would have gone without us.
void OnFault(int signal, siginfo_t* info, void* ucontext) {
    GuardFrame* frame = t_guards.innermost;
    if (!frame || !IsProcessorFault(info)) {
        const int savedErrno = errno;
        PassFaultOn(signal, info, ucontext);
        errno = savedErrno;
        return;
    }
    CaptureFault(signal, info, ucontext, &frame->fault);
    t_guards.innermost = frame->outer;
    siglongjmp(frame->jump, 1);
}

// Runs the routine with the frame innermost. A C++ exception or ExitThread
// passes through; the guard is taken down on its way.
__attribute__((noinline)) void RunGuarded(GuardFrame* frame, PGUARDED_ROUTINE routine,
                                          LPVOID context) {
    t_guards.innermost = frame;
    try {
        routine(context);
    } catch (...) {
        t_guards.innermost = frame->outer;
        LeaveGuard();
        throw;
    }
    t_guards.innermost = frame->outer;
}

// The exception goes on to the next guard out, which runs its filter with
// the same record and stack; beyond the outermost it is unhandled.
[[noreturn]] void PassOutward(GuardFrame* frame) {
    GuardFrame* outer = frame->outer;
    if (!outer)
        RaiseUnhandledFault(&frame->fault);
    outer->fault = frame->fault;
    siglongjmp(outer->jump, 1);
}

// Entered by a jump (from the handler, or from an inner guard passing the
// exception on). Every activation inside this guard has been abandoned, so
// the thread's state is set back to what it was when this guard began.
BOOL FilterFault(GuardFrame* frame) {
    t_guards.innermost = frame->outer;
    t_guards.depth = frame->depth + 1;
    FaultCapture& fault = frame->fault;
    fault.context = CONTEXT{};
    fault.pointers = EXCEPTION_POINTERS{&fault.record, &fault.context};
    t_guards.filtered = &fault;
    LONG answer;
    try {
        answer = frame->filter(&fault.pointers, frame->filterContext);
    } catch (...) {
        t_guards.filtered = frame->filteredAtEntry;
        LeaveGuard();
        throw;
    }
    t_guards.filtered = frame->filteredAtEntry;
    if (answer != EXCEPTION_EXECUTE_HANDLER)
        PassOutward(frame);
    LeaveGuard();
    return FALSE;
}

}  // namespace

const FaultCapture* FilteredFault() { return t_guards.filtered; }

}  // namespace orvi::kernel

using namespace orvi::kernel;

BOOL CallGuarded(PGUARDED_ROUTINE pfnRoutine, LPVOID pContext, PEXCEPTION_FILTER pfnFilter,
                 LPVOID pFilterContext) {
    if (!pfnRoutine || !pfnFilter) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InstallFaultHandlers(OnFault);
    GuardFrame frame;
    frame.outer = t_guards.innermost;
    frame.depth = t_guards.depth;
    frame.filteredAtEntry = t_guards.filtered;
    frame.filter = pfnFilter;
    frame.filterContext = pFilterContext;
    EnterGuard();
    if (sigsetjmp(frame.jump, 1) != 0)
        return FilterFault(&frame);
    RunGuarded(&frame, pfnRoutine, pContext);
    LeaveGuard();
    return TRUE;
}
