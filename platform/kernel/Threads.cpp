// Threads: creation with a ready message queue, ids, exit and sleeping.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <ctime>

#include <atomic>

#include "MessageQueue.h"
#include "SyncObjects.h"

namespace orvi::kernel {
namespace {

thread_local DWORD t_threadId = 0;

struct StartBlock {
    std::shared_ptr<ThreadObject> thread;
    std::shared_ptr<ThreadQueue> queue;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
};

// Marks the thread finished however it ends: by returning, or through
// ExitThread, whose unwinding runs this destructor.
struct ThreadEnd {
    std::shared_ptr<ThreadObject> thread;
    DWORD exitCode = 0;
    ~ThreadEnd() {
        NotifyThreadEnding();
        RetireCurrentQueue();
        thread->Finish(exitCode);
    }
};
thread_local ThreadEnd* t_end = nullptr;

void* ThreadTrampoline(void* arg) {
    std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(arg));
    t_threadId = block->thread->ThreadId();
    AdoptQueue(std::move(block->queue));
    ThreadEnd end{block->thread};
    t_end = &end;
    block->thread->WaitUntilResumed();
    end.exitCode = block->start(block->parameter);
    return nullptr;
}

}  // namespace

DWORD AllocateThreadId() {
    // Ids are unique within the run; multiples of 4 above the small numbers
    // that could be mistaken for pseudo-values.
    static std::atomic<DWORD> next{0x1000};
    return next.fetch_add(4);
}

void ThreadObject::Finish(DWORD exitCode) {
    std::lock_guard guard(WaitLock());
    m_exitCode = exitCode;
    m_finished = true;
    WakeWaitersLocked();
}

DWORD ThreadObject::ExitCode() {
    std::lock_guard guard(WaitLock());
    return m_finished ? m_exitCode : static_cast<DWORD>(STILL_ACTIVE);
}

void ThreadObject::WaitUntilResumed() {
    bool suspended;
    {
        std::lock_guard guard(WaitLock());
        suspended = m_suspendCount > 0;
    }
    if (suspended) {
        HANDLE resumed = InsertHandle(m_resumed);
        WaitForSingleObject(resumed, INFINITE);
        CloseHandle(resumed);
    }
}

DWORD ThreadObject::Resume() {
    DWORD previous;
    {
        std::lock_guard guard(WaitLock());
        previous = m_suspendCount;
        if (m_suspendCount > 0)
            --m_suspendCount;
    }
    if (previous == 1)
        m_resumed->Set();
    return previous;
}

}  // namespace orvi::kernel

using namespace orvi::kernel;

DWORD GetCurrentThreadId() {
    if (t_threadId == 0)
        t_threadId = AllocateThreadId();
    return t_threadId;
}

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DWORD id = AllocateThreadId();
    auto thread = std::make_shared<ThreadObject>(id);
    if (dwCreationFlags & CREATE_SUSPENDED)
        thread->Suspend();
    auto* block = new StartBlock{thread, CreateQueue(id), lpStartAddress, lpParameter};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (dwStackSize >= static_cast<SIZE_T>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attr, dwStackSize);
    pthread_t handle;
    int err = pthread_create(&handle, &attr, ThreadTrampoline, block);
    pthread_attr_destroy(&attr);
    if (err != 0) {
        RemoveQueue(id);
        delete block;
        SetLastError(ErrorFromErrno(err));
        return nullptr;
    }
    if (lpThreadId)
        *lpThreadId = id;
    return InsertHandle(thread);
}

DWORD ResumeThread(HANDLE hThread) {
    auto thread = ReferenceHandleAs<ThreadObject>(hThread, ObjectType::Thread);
    if (!thread)
        return static_cast<DWORD>(-1);
    return thread->Resume();
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = ReferenceHandleAs<ThreadObject>(hThread, ObjectType::Thread);
    if (!thread || !lpExitCode) {
        if (thread)
            SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpExitCode = thread->ExitCode();
    return TRUE;
}

void ExitThread(DWORD dwExitCode) {
    if (t_end)
        t_end->exitCode = dwExitCode;
    pthread_exit(nullptr);
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;)
            pause();
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
    }
}
