// Mutexes; named ones are shared with other processes through lock files.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

#include "SyncObjects.h"
#include "textapi.h"

namespace orvi::kernel {
namespace {

// Lock-file name of a mutex name: the case-folded UTF-16 code units in hex,
// so any name the device accepts maps to a safe host file name.
std::string LockFileStem(std::u16string_view name) {
    std::string stem;
    char digits[5];
    for (char16_t c : name) {
        std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(towlower(c)));
        stem += digits;
    }
    return RuntimeHostPath("mutex") + "/" + stem;
}

}  // namespace

MutexObject::~MutexObject() {
    if (m_ownerFd >= 0)
        close(m_ownerFd);
    if (m_openFd >= 0)
        close(m_openFd);
}

bool MutexObject::OpenShared(std::u16string_view name, bool* existsElsewhere) {
    std::string stem = LockFileStem(name);
    m_openFd = open((stem + ".open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    m_ownerFd = open((stem + ".own").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_openFd < 0 || m_ownerFd < 0)
        return false;
    // Only a process alone with the name gets the exclusive lock; everyone
    // then keeps a shared one for as long as the mutex is open here. Turning
    // the exclusive lock into a shared one briefly drops it, so the test and
    // the turn happen under a guard lock: two processes opening the name at
    // the same moment cannot both find themselves alone.
    int guard = open((stem + ".guard").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (guard < 0)
        return false;
    while (flock(guard, LOCK_EX) != 0) {
    }
    *existsElsewhere = flock(m_openFd, LOCK_EX | LOCK_NB) != 0;
    while (flock(m_openFd, LOCK_SH) != 0) {
    }
    close(guard);
    return true;
}

bool MutexObject::IsSignaledLocked(DWORD threadId) {
    if (m_owner == threadId)
        return true;
    if (m_owner != 0)
        return false;
    if (m_ownerFd >= 0 && !m_fileLocked)
        m_fileLocked = flock(m_ownerFd, LOCK_EX | LOCK_NB) == 0;
    return m_ownerFd < 0 || m_fileLocked;
}

void MutexObject::AcquireLocked(DWORD threadId) {
    m_owner = threadId;
    ++m_recursion;
}

void MutexObject::AbandonClaimLocked(DWORD) {
    if (m_owner == 0 && m_fileLocked) {
        flock(m_ownerFd, LOCK_UN);
        m_fileLocked = false;
    }
}

bool MutexObject::Release(DWORD threadId) {
    std::lock_guard guard(WaitLock());
    if (m_owner != threadId) {
        SetLastError(ERROR_NOT_OWNER);
        return false;
    }
    if (--m_recursion == 0) {
        m_owner = 0;
        AbandonClaimLocked(threadId);
        WakeWaitersLocked();
    }
    return true;
}

}  // namespace orvi::kernel

using namespace orvi::kernel;

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    const DWORD tid = GetCurrentThreadId();
    auto takeInitial = [&](const std::shared_ptr<MutexObject>& mutex) {
        std::lock_guard guard(WaitLock());
        if (mutex->IsSignaledLocked(tid))
            mutex->AcquireLocked(tid);
    };
    if (!lpName || !*lpName) {
        auto mutex = std::make_shared<MutexObject>();
        if (bInitialOwner)
            takeInitial(mutex);
        SetLastError(ERROR_SUCCESS);
        return InsertHandle(mutex);
    }
    bool elsewhere = false;
    bool filesFailed = false;
    auto found = OpenOrCreateNamed(lpName, ObjectType::Mutex, [&]() -> std::shared_ptr<KernelObject> {
        auto mutex = std::make_shared<MutexObject>();
        if (!mutex->OpenShared(lpName, &elsewhere)) {
            filesFailed = true;
            return nullptr;
        }
        return mutex;
    });
    if (!found.object) {
        SetLastError(filesFailed ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto mutex = std::static_pointer_cast<MutexObject>(found.object);
    bool exists = found.existed || elsewhere;
    // As on the device, the initial-owner request is ignored for a mutex
    // that already existed.
    if (bInitialOwner && !exists)
        takeInitial(mutex);
    HANDLE handle = InsertHandle(mutex);
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    auto mutex = ReferenceHandleAs<MutexObject>(hMutex, ObjectType::Mutex);
    if (!mutex)
        return FALSE;
    return mutex->Release(GetCurrentThreadId()) ? TRUE : FALSE;
}
