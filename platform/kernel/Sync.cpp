// Events, critical sections and interlocked operations.
#include <map>

#include "SyncObjects.h"
#include "textapi.h"

namespace orvi::kernel {

// ---- named objects ------------------------------------------------------------
namespace {

struct NameTable {
    std::mutex lock;
    std::map<std::u16string, std::weak_ptr<KernelObject>> entries;
};

NameTable& Names() {
    static auto* table = new NameTable;
    return *table;
}

std::u16string FoldName(LPCWSTR name) {
    std::u16string folded(name);
    for (auto& c : folded)
        c = towlower(c);
    return folded;
}

}  // namespace

NamedLookup OpenOrCreateNamed(LPCWSTR name, ObjectType type,
                              const std::function<std::shared_ptr<KernelObject>()>& create) {
    auto& table = Names();
    std::lock_guard guard(table.lock);
    auto key = FoldName(name);
    auto it = table.entries.find(key);
    if (it != table.entries.end()) {
        if (auto existing = it->second.lock()) {
            if (existing->type != type)
                return {nullptr, true, false};
            return {existing, true, true};
        }
        table.entries.erase(it);  // every handle of that object is closed
    }
    if (!create)
        return {nullptr, false, false};
    auto object = create();
    if (object)
        table.entries[key] = object;
    return {object, false, object != nullptr};
}

// ---- events ---------------------------------------------------------------------
bool EventObject::IsSignaledLocked(DWORD) { return m_signaled; }

void EventObject::AcquireLocked(DWORD) {
    if (!m_manualReset)
        m_signaled = false;
}

void EventObject::Set() {
    std::lock_guard guard(WaitLock());
    m_signaled = true;
    WakeWaitersLocked();
}

void EventObject::Reset() {
    std::lock_guard guard(WaitLock());
    m_signaled = false;
}

}  // namespace orvi::kernel

using namespace orvi::kernel;

namespace {

std::shared_ptr<EventObject> EventFromHandle(HANDLE h) {
    return ReferenceHandleAs<EventObject>(h, ObjectType::Event);
}

}  // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
    auto make = [&] { return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE); };
    if (!lpName || !*lpName) {
        SetLastError(ERROR_SUCCESS);
        return InsertHandle(make());
    }
    auto found = OpenOrCreateNamed(lpName, ObjectType::Event, make);
    if (!found.object) {
        SetLastError(ERROR_INVALID_HANDLE);  // the name belongs to another kind of object
        return nullptr;
    }
    SetLastError(found.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return InsertHandle(found.object);
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR lpName) {
    if (!lpName || !*lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto found = OpenOrCreateNamed(lpName, ObjectType::Event, nullptr);
    if (!found.object) {
        SetLastError(found.existed ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return InsertHandle(found.object);
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = EventFromHandle(hEvent);
    if (!event)
        return FALSE;
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = EventFromHandle(hEvent);
    if (!event)
        return FALSE;
    event->Reset();
    return TRUE;
}

// ---- critical sections ------------------------------------------------------------
void InitializeCriticalSection(LPCRITICAL_SECTION cs) { cs->Impl = new std::recursive_mutex; }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<std::recursive_mutex*>(cs->Impl);
    cs->Impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->Impl)->lock(); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
    return static_cast<std::recursive_mutex*>(cs->Impl)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { static_cast<std::recursive_mutex*>(cs->Impl)->unlock(); }

// ---- interlocked --------------------------------------------------------------------
// The device's interlocked calls are full barriers on 32-bit words; the
// GCC builtins give the same guarantee.
LONG InterlockedIncrement(LONG volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
LONG InterlockedExchangeAdd(LONG volatile* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }

LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

LPVOID InterlockedExchangePointer(LPVOID volatile* p, LPVOID v) {
    return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}

LPVOID InterlockedCompareExchangePointer(LPVOID volatile* p, LPVOID exchange, LPVOID comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
