// The crash trace of the decode thread: an exception record and the call
// stack at the fault, written to the debug log.
//
// Lines, through Log:
//   "Exception: address=0x%08Ix,code=0x%08x,flags=0x%08x\r\n" (with a record)
//   "Exception: code=0x%08x\r\n"                              (without one)
//   "--Callstack:\n"
//   "  0x%08IX\n" per return address, innermost first, at most 64
// Addresses use the pointer-sized form of %x: they read as on the device
// for 32-bit values and stay whole above 4 GiB, where plain %x would cut
// them to their low 32 bits.
#pragma once

#include "platform.h"

// Looks up "GetCallStackSnapshot" in "CoreDLL.dll" by name. When the
// platform lacks it, traces carry the exception line and no frames. The
// decoder engine calls this when it is created; calling it again looks the
// function up again. Any thread.
void CrashTraceInit();

// Writes the trace of one exception. Inside an exception filter the frames
// are those of the faulting stack; elsewhere, the caller's own. pPointers
// (or its record) may be NULL: the exception line then carries only code.
void CrashTrace(DWORD code, EXCEPTION_POINTERS* pPointers);

// Runs pfnRoutine(pContext) under an exception guard whose filter writes
// the crash trace and ends the routine. TRUE when the routine returned
// normally, FALSE when an exception ended it; the caller then writes its own
// line ("The exception occurred at DecodeThread\n"). What an abandoned
// routine leaves behind (held locks, objects not destroyed) is as
// CallGuarded says.
BOOL RunWithCrashTrace(PGUARDED_ROUTINE pfnRoutine, LPVOID pContext);

// For tests only: the snapshot function traces use from now on, in place of
// the one CrashTraceInit found; NULL behaves as a platform without it.
typedef ULONG (*PFN_GET_CALL_STACK_SNAPSHOT)(ULONG dwMaxFrames, CallSnapshot lpFrames[],
                                              DWORD dwFlags, DWORD dwSkip);
void CrashTraceSetSnapshotForTest(PFN_GET_CALL_STACK_SNAPSHOT pfnSnapshot);
