// Process identity: the host process id, and the caller process that a host
// program may name while it runs a plug-in on behalf of another process.
#include <unistd.h>

#include "internal.h"

namespace {
// Per thread: a host serving several client processes from several threads
// names each thread's caller without disturbing the others. 0: the current
// process.
thread_local DWORD t_callerProcessId = 0;
}  // namespace

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE GetCallerProcess() {
    DWORD processId = t_callerProcessId ? t_callerProcessId : GetCurrentProcessId();
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(processId));
}

// Applies to the calling thread only; 0 goes back to the current process.
void OrviSetCallerProcess(DWORD dwProcessId) { t_callerProcessId = dwProcessId; }
