// The crash trace: exception line, call stack lines.
#include "CrashTrace.h"

#include <atomic>

#include "OrviDebug.h"

namespace {

constexpr ULONG kMaxTraceFrames = 64;

// Set on the thread that creates a decoder engine, read on the decode
// thread inside its exception filter.
std::atomic<PFN_GET_CALL_STACK_SNAPSHOT> g_pfnSnapshot{nullptr};

void LogException(DWORD code, const EXCEPTION_POINTERS* pPointers) {
    const EXCEPTION_RECORD* record = pPointers ? pPointers->ExceptionRecord : nullptr;
    if (!record) {
        Log(u"Exception: code=0x%08x\r\n", code);
        return;
    }
    Log(u"Exception: address=0x%08Ix,code=0x%08x,flags=0x%08x\r\n",
        reinterpret_cast<DWORD_PTR>(record->ExceptionAddress), record->ExceptionCode,
        record->ExceptionFlags);
}

LONG CALLBACK CrashTraceFilter(EXCEPTION_POINTERS* pPointers, LPVOID) {
    CrashTrace(pPointers->ExceptionRecord->ExceptionCode, pPointers);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void CrashTraceInit() {
    HMODULE hCore = LoadLibraryW(u"CoreDLL.dll");
    FARPROC pfn = hCore ? GetProcAddress(hCore, u"GetCallStackSnapshot") : nullptr;
    g_pfnSnapshot = reinterpret_cast<PFN_GET_CALL_STACK_SNAPSHOT>(pfn);
    // The core library is never unloaded; the reference only balances the load.
    if (hCore)
        FreeLibrary(hCore);
}

void CrashTrace(DWORD code, EXCEPTION_POINTERS* pPointers) {
    // The snapshot comes first, before logging adds frames of its own.
    CallSnapshot frames[kMaxTraceFrames];
    ULONG count = 0;
    if (PFN_GET_CALL_STACK_SNAPSHOT pfnSnapshot = g_pfnSnapshot.load())
        count = pfnSnapshot(kMaxTraceFrames, frames, 0, 0);
    if (count > kMaxTraceFrames)
        count = kMaxTraceFrames;
    LogException(code, pPointers);
    Log(u"--Callstack:\n");
    for (ULONG i = 0; i < count; ++i)
        Log(u"  0x%08IX\n", frames[i].dwReturnAddr);
}

BOOL RunWithCrashTrace(PGUARDED_ROUTINE pfnRoutine, LPVOID pContext) {
    return CallGuarded(pfnRoutine, pContext, CrashTraceFilter, nullptr);
}

void CrashTraceSetSnapshotForTest(PFN_GET_CALL_STACK_SNAPSHOT pfnSnapshot) {
    g_pfnSnapshot = pfnSnapshot;
}
