// Processor exceptions: a guard that catches the faults raised on its own
// thread (the device's structured exception handling, reduced to the one
// form the system uses), and the call stack snapshot a filter writes into a
// crash trace.
//
// What counts as a processor exception: a fault of the thread itself while
// it executes (an invalid memory access, a bus error, an illegal
// instruction, an arithmetic trap). The same signals sent by another thread
// or process are not exceptions and are never caught. C++ exceptions pass
// through a guard untouched.
#pragma once

#include "moduleapi.h"
#include "wintypes.h"

// ExceptionCode values. The guard raises these; nothing else does.
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u       // invalid address or protection
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002u  // a bus error of any kind
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du    // also a trap instruction
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_INT_OVERFLOW 0xC0000095u
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008Eu
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008Fu
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090u  // and any other floating-point trap
#define EXCEPTION_FLT_OVERFLOW 0xC0000091u
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093u

// Answers of an exception filter.
#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0

#define EXCEPTION_MAXIMUM_PARAMETERS 15

// ExceptionFlags is 0, as the device reports a processor fault;
// ExceptionRecord (a chained record) is NULL. ExceptionAddress is the
// address of the faulting instruction. An access violation carries two
// parameters: [0] is 1 for a write and 0 for a read (0 also where the
// processor does not tell), [1] the address that could not be accessed.
// Other codes carry none.
struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    LPVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};
typedef EXCEPTION_RECORD* PEXCEPTION_RECORD;

// The processor state at the fault is not offered: ContextFlags is 0, which
// says that the record holds no registers.
struct CONTEXT {
    DWORD ContextFlags;
};
typedef CONTEXT* PCONTEXT;

struct EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
};
typedef EXCEPTION_POINTERS* PEXCEPTION_POINTERS;

typedef void(CALLBACK* PGUARDED_ROUTINE)(LPVOID pContext);
typedef LONG(CALLBACK* PEXCEPTION_FILTER)(EXCEPTION_POINTERS* pPointers, LPVOID pContext);

// Runs pfnRoutine(pContext) on the calling thread under a guard. TRUE when
// the routine returned normally.
//
// When a processor exception is raised on this thread inside the routine,
// the routine is abandoned and pfnFilter(pPointers, pFilterContext) runs on
// this thread, on its own stack below the guard; pPointers and what it
// points to are valid until the filter returns.
// - EXCEPTION_EXECUTE_HANDLER: CallGuarded returns FALSE (last error as the
//   routine left it).
// - EXCEPTION_CONTINUE_SEARCH (and any other answer; resuming at the fault
//   is not possible): the next enclosing guard of this thread runs its
//   filter with the same exception and call stack; with none, the fault
//   takes its ordinary course as if no guard existed: the signal action
//   that was installed before the first guard (a sanitizer's report, say)
//   or the default action, which ends the process with that signal.
// A fault on a thread outside every guard, or inside a filter of the
// outermost guard, is not touched at all.
//
// Abandoning the routine is a jump, not an unwinding: destructors of the
// abandoned frames do not run, locks they hold stay held, memory they own
// is lost. A guarded routine should hold no lock that the filter or the
// thread's later work needs.
//
// While a filter runs, GetCallStackSnapshot on its thread answers the stack
// captured when the exception was raised (innermost frame first, the
// faulting instruction's address in frame 0), as a filter on the device
// sees the faulting stack before anything is unwound.
//
// Threads: each thread has its own chain of guards; guards nest. While a
// thread is inside its outermost guard it runs signal handlers on an
// alternate stack of 64 KiB (or on the one the thread already has, such as
// a sanitizer's), so that a stack overflow is caught too; the outermost
// guard removes the stack it set up when it ends, whether by return, by a
// handled exception, by a C++ exception or by ExitThread, so a thread owes
// nothing at its end. Each call saves the signal mask (one system call);
// the outermost one also maps and unmaps that stack.
//
// FALSE with ERROR_INVALID_PARAMETER, without running anything, when
// pfnRoutine or pfnFilter is NULL.
BOOL CallGuarded(PGUARDED_ROUTINE pfnRoutine, LPVOID pContext, PEXCEPTION_FILTER pfnFilter,
                 LPVOID pFilterContext);

// One frame of a call stack snapshot: a return address (pointer-sized on
// this host; the device's record holds a 32-bit one).
struct CallSnapshot {
    DWORD_PTR dwReturnAddr;
};

// Writes up to dwMaxFrames frames of the calling thread's stack into
// lpFrames, innermost first, after skipping dwSkip of them, and returns the
// number written. Frame 0 is the return address into the function that
// called GetCallStackSnapshot; inside an exception filter the frames are
// those of the faulting stack instead (see CallGuarded). Fewer frames than
// dwSkip gives 0 without an error. dwFlags must be 0; a flag, a NULL
// lpFrames or dwMaxFrames 0: 0 with ERROR_INVALID_PARAMETER.
//
// Exported by name from the platform module, as the device's core library
// does: GetProcAddress(LoadLibraryW(u"CoreDLL.dll"), u"GetCallStackSnapshot").
extern "C" ORVI_DLLEXPORT ULONG GetCallStackSnapshot(ULONG dwMaxFrames, CallSnapshot lpFrames[],
                                                     DWORD dwFlags, DWORD dwSkip);
