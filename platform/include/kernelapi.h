// Core services of the device: last error, time, processes, private heaps,
// threads, synchronisation objects and waiting, the debug channel.
//
// Handles returned here are closed with CloseHandle. Every function keeps the
// device contract: a failure returns FALSE/NULL (or the documented value) and
// sets the thread's last error.
#pragma once

#include "winerror.h"
#include "wintypes.h"

// ---- last error -----------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// ---- handles --------------------------------------------------------------
BOOL CloseHandle(HANDLE hObject);

// ---- time -----------------------------------------------------------------
// Milliseconds since the platform started (wraps after 49.7 days).
DWORD GetTickCount();
void GetLocalTime(LPSYSTEMTIME lpSystemTime);
void GetSystemTime(LPSYSTEMTIME lpSystemTime);
void GetSystemTimeAsFileTime(LPFILETIME lpFileTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);

// ---- processes --------------------------------------------------------------
DWORD GetCurrentProcessId();
// The process that called into the current library. A host program that
// calls a plug-in on behalf of another process says so with
// OrviSetCallerProcess, for the calling thread only (0 goes back to the
// current process); otherwise it is the current process. Returned as a
// process id cast to a handle, as the device does.
HANDLE GetCallerProcess();
void OrviSetCallerProcess(DWORD dwProcessId);

// ---- private heaps ------------------------------------------------------------
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_ZERO_MEMORY 0x00000008

// dwMaximumSize 0 means a growable heap; otherwise the total of live
// allocations may never exceed it.
HANDLE HeapCreate(DWORD flOptions, SIZE_T dwInitialSize, SIZE_T dwMaximumSize);
BOOL HeapDestroy(HANDLE hHeap);
LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes);
SIZE_T HeapSize(HANDLE hHeap, DWORD dwFlags, LPCVOID lpMem);
BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);
HANDLE GetProcessHeap();

// ---- threads ------------------------------------------------------------------
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID lpParameter);
#define CREATE_SUSPENDED 0x00000004
#define STILL_ACTIVE 259

// The new thread owns a message queue before its first instruction, so
// PostThreadMessageW to the returned id succeeds at once.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
DWORD ResumeThread(HANDLE hThread);
DWORD GetCurrentThreadId();
HANDLE GetCurrentThread();
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
[[noreturn]] void ExitThread(DWORD dwExitCode);
void Sleep(DWORD dwMilliseconds);

// ---- waiting ----------------------------------------------------------------------
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);

// ---- events ----------------------------------------------------------------------------
// Named events are shared within the process: a second CreateEventW of the
// same name returns a new handle to the same event with ERROR_ALREADY_EXISTS.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                    BOOL bInitialState, LPCWSTR lpName);
#define EVENT_ALL_ACCESS 0x001F0003
#define SYNCHRONIZE 0x00100000
HANDLE OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// ---- mutexes ---------------------------------------------------------------------------
// A named mutex is device-wide: it is backed by lock files under the device
// root's runtime folder, so a second process creating the same name gets a
// handle with ERROR_ALREADY_EXISTS, and the lock of a process that dies is
// released with it.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
BOOL ReleaseMutex(HANDLE hMutex);

// ---- critical sections -----------------------------------------------------------------
struct CRITICAL_SECTION {
    void* Impl;  // owned by the platform between Initialize and Delete
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---- interlocked ------------------------------------------------------------------------
LONG InterlockedIncrement(LONG volatile* lpAddend);
LONG InterlockedDecrement(LONG volatile* lpAddend);
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);
LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand);
LPVOID InterlockedExchangePointer(LPVOID volatile* Target, LPVOID Value);
LPVOID InterlockedCompareExchangePointer(LPVOID volatile* Destination, LPVOID Exchange,
                                         LPVOID Comperand);

// ---- power ------------------------------------------------------------------------------
// Restarts the device's idle count so that the display does not switch off
// during a long wait. This host's displays never switch off on their own
// (the sdl window holds off the desktop's screen saver while it is open), so
// there is no count to restart and the call only has to be safe from any
// thread.
void SystemIdleTimerReset();

// ---- debug channel ----------------------------------------------------------------------
// Lines go to the platform's debug channel: stderr when $ORVI_TRACE is set,
// nowhere otherwise. Never to stdout.
void OutputDebugStringW(LPCWSTR lpOutputString);
