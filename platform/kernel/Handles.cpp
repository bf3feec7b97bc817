// The process-wide handle table and CloseHandle.
#include <mutex>
#include <unordered_map>

#include "internal.h"

namespace orvi::kernel {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> entries;
    std::unordered_map<const KernelObject*, int> handleCounts;
    // Handles are never reused within a run, so a stale handle fails cleanly
    // instead of reaching an unrelated object. Multiples of 4 keep the low
    // bits free, as on the device.
    uintptr_t next = 0x1000;
};

HandleTable& Table() {
    static auto* table = new HandleTable;  // lives until exit; threads may outlive main
    return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    ++table.handleCounts[object.get()];
    table.entries.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> ReferenceHandle(HANDLE h) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<uintptr_t>(h));
    return it == table.entries.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE h) {
    std::shared_ptr<KernelObject> object;
    bool last = false;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.entries.find(reinterpret_cast<uintptr_t>(h));
        if (it == table.entries.end())
            return false;
        object = std::move(it->second);
        table.entries.erase(it);
        auto count = table.handleCounts.find(object.get());
        if (--count->second == 0) {
            table.handleCounts.erase(count);
            last = true;
        }
    }
    // Outside the table lock: closing may wait for I/O or take other locks.
    if (last)
        object->OnLastHandleClosed();
    return true;
}

}  // namespace orvi::kernel

BOOL CloseHandle(HANDLE hObject) {
    if (!orvi::kernel::RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
