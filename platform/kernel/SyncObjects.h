// Kernel objects behind events, mutexes and threads.
#pragma once

#include <functional>
#include <string>

#include "Wait.h"

namespace orvi::kernel {

class EventObject : public Waitable {
public:
    EventObject(bool manualReset, bool initialState)
        : Waitable(ObjectType::Event), m_manualReset(manualReset), m_signaled(initialState) {}
    bool IsSignaledLocked(DWORD threadId) override;
    void AcquireLocked(DWORD threadId) override;
    void Set();
    void Reset();

private:
    const bool m_manualReset;
    bool m_signaled;  // under WaitLock()
};

// A mutex owned by one thread at a time, recursively. A named mutex also
// holds an exclusive lock on a file under the runtime folder while it is
// owned, which makes ownership device-wide; the kernel drops that lock when
// the owning process dies. A second lock file, held shared by every process
// that has the mutex open, tells whether the name already exists elsewhere.
class MutexObject : public Waitable {
public:
    MutexObject() : Waitable(ObjectType::Mutex) {}
    ~MutexObject() override;
    // Opens the lock files of a named mutex; sets *existsElsewhere when
    // another process has the name open. False when the files cannot be used.
    bool OpenShared(std::u16string_view name, bool* existsElsewhere);

    bool IsSignaledLocked(DWORD threadId) override;
    void AcquireLocked(DWORD threadId) override;
    void AbandonClaimLocked(DWORD threadId) override;
    bool NeedsPolling() const override { return m_ownerFd >= 0; }
    // False (ERROR_NOT_OWNER) when the caller does not own the mutex.
    bool Release(DWORD threadId);

private:
    DWORD m_owner = 0;  // thread id, 0 = free; under WaitLock()
    DWORD m_recursion = 0;
    int m_ownerFd = -1;  // lock file of ownership (named mutexes)
    int m_openFd = -1;   // lock file of existence (named mutexes)
    bool m_fileLocked = false;
};

class ThreadObject : public Waitable {
public:
    explicit ThreadObject(DWORD threadId) : Waitable(ObjectType::Thread), m_threadId(threadId) {}
    bool IsSignaledLocked(DWORD) override { return m_finished; }
    DWORD ThreadId() const { return m_threadId; }
    void Finish(DWORD exitCode);
    DWORD ExitCode();  // STILL_ACTIVE while running
    // Suspension before the first instruction (CREATE_SUSPENDED).
    void WaitUntilResumed();
    DWORD Resume();
    void Suspend() { m_suspendCount = 1; }

private:
    const DWORD m_threadId;
    bool m_finished = false;  // under WaitLock()
    DWORD m_exitCode = STILL_ACTIVE;
    DWORD m_suspendCount = 0;
    std::shared_ptr<EventObject> m_resumed = std::make_shared<EventObject>(true, false);
};

struct NamedLookup {
    std::shared_ptr<KernelObject> object;
    bool existed;  // the name was in use (by this kind or another)
    bool ok;
};
// Finds the object of this name in this process, or makes one with create
// (which may be empty for an open-only lookup). Names are case-insensitive.
NamedLookup OpenOrCreateNamed(LPCWSTR name, ObjectType type,
                              const std::function<std::shared_ptr<KernelObject>()>& create);

}  // namespace orvi::kernel
