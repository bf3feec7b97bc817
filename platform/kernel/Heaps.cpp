// Private heaps: HeapCreate and friends, and the process heap.
//
// A heap hands out blocks from the host allocator and keeps a table of the
// blocks it owns, so a pointer from anywhere else is refused cleanly instead
// of corrupting anything, and HeapDestroy can free every block left. Sizes
// are the sizes asked for; a heap's maximum bounds their total, without any
// bookkeeping overhead. Allocation failures set ERROR_NOT_ENOUGH_MEMORY.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "internal.h"

namespace orvi::kernel {
namespace {

class Heap final : public KernelObject {
public:
    Heap(DWORD options, SIZE_T maximum, bool processHeap)
        : KernelObject(ObjectType::Heap),
          m_options(options),
          m_maximum(maximum),
          m_bProcessHeap(processHeap) {}
    ~Heap() override { Destroy(); }

    bool IsProcessHeap() const { return m_bProcessHeap; }
    void* Alloc(DWORD flags, SIZE_T bytes);
    void* ReAlloc(DWORD flags, void* block, SIZE_T bytes);
    // Size of a block of this heap; false when the pointer is not one.
    bool Size(DWORD flags, const void* block, SIZE_T* size);
    bool Free(DWORD flags, void* block);
    void Destroy();
    void OnLastHandleClosed() override { Destroy(); }

private:
    // HEAP_NO_SERIALIZE on the heap or on the call: the caller serialises.
    std::unique_lock<std::mutex> Lock(DWORD flags) {
        if ((m_options | flags) & HEAP_NO_SERIALIZE)
            return std::unique_lock<std::mutex>(m_lock, std::defer_lock);
        return std::unique_lock<std::mutex>(m_lock);
    }
    bool Fits(SIZE_T oldBytes, SIZE_T newBytes) const {
        return m_maximum == 0 || newBytes <= m_maximum - (m_live - oldBytes);
    }

    const DWORD m_options;
    const SIZE_T m_maximum;  // 0: growable
    const bool m_bProcessHeap;
    std::mutex m_lock;
    std::unordered_map<void*, SIZE_T> m_blocks;
    SIZE_T m_live = 0;
    bool m_bDestroyed = false;
};

void* Heap::Alloc(DWORD flags, SIZE_T bytes) {
    auto guard = Lock(flags);
    if (m_bDestroyed) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A zero-byte block is still a distinct pointer that HeapFree accepts.
    void* block = Fits(0, bytes) ? std::malloc(bytes ? bytes : 1) : nullptr;
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (flags & HEAP_ZERO_MEMORY)
        std::memset(block, 0, bytes);
    m_blocks.emplace(block, bytes);
    m_live += bytes;
    return block;
}

void* Heap::ReAlloc(DWORD flags, void* block, SIZE_T bytes) {
    auto guard = Lock(flags);
    auto it = m_blocks.find(block);
    if (it == m_blocks.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SIZE_T oldBytes = it->second;
    // On failure the old block stays as it was, as the caller still owns it.
    void* moved = Fits(oldBytes, bytes) ? std::realloc(block, bytes ? bytes : 1) : nullptr;
    if (!moved) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((flags & HEAP_ZERO_MEMORY) && bytes > oldBytes)
        std::memset(static_cast<char*>(moved) + oldBytes, 0, bytes - oldBytes);
    m_blocks.erase(it);
    m_blocks.emplace(moved, bytes);
    m_live = m_live - oldBytes + bytes;
    return moved;
}

bool Heap::Size(DWORD flags, const void* block, SIZE_T* size) {
    auto guard = Lock(flags);
    auto it = m_blocks.find(const_cast<void*>(block));
    if (it == m_blocks.end())
        return false;
    *size = it->second;
    return true;
}

bool Heap::Free(DWORD flags, void* block) {
    auto guard = Lock(flags);
    auto it = m_blocks.find(block);
    if (it == m_blocks.end())
        return false;
    m_live -= it->second;
    m_blocks.erase(it);
    std::free(block);
    return true;
}

void Heap::Destroy() {
    std::lock_guard guard(m_lock);
    for (auto& [block, bytes] : m_blocks)
        std::free(block);
    m_blocks.clear();
    m_live = 0;
    m_bDestroyed = true;
}

std::shared_ptr<Heap> ReferenceHeap(HANDLE hHeap) {
    return ReferenceHandleAs<Heap>(hHeap, ObjectType::Heap);
}

}  // namespace
}  // namespace orvi::kernel

using orvi::kernel::Heap;
using orvi::kernel::ReferenceHeap;

HANDLE HeapCreate(DWORD flOptions, SIZE_T dwInitialSize, SIZE_T dwMaximumSize) {
    if ((flOptions & ~static_cast<DWORD>(HEAP_NO_SERIALIZE)) != 0 ||
        (dwMaximumSize != 0 && dwInitialSize > dwMaximumSize)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return orvi::kernel::InsertHandle(std::make_shared<Heap>(flOptions, dwMaximumSize, false));
}

BOOL HeapDestroy(HANDLE hHeap) {
    auto heap = ReferenceHeap(hHeap);
    if (!heap)
        return FALSE;
    if (heap->IsProcessHeap()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    heap->Destroy();
    orvi::kernel::RemoveHandle(hHeap);
    return TRUE;
}

LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    auto heap = ReferenceHeap(hHeap);
    return heap ? heap->Alloc(dwFlags, dwBytes) : nullptr;
}

LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    auto heap = ReferenceHeap(hHeap);
    return heap ? heap->ReAlloc(dwFlags, lpMem, dwBytes) : nullptr;
}

SIZE_T HeapSize(HANDLE hHeap, DWORD dwFlags, LPCVOID lpMem) {
    auto heap = ReferenceHeap(hHeap);
    SIZE_T size = 0;
    if (!heap)
        return static_cast<SIZE_T>(-1);
    if (!heap->Size(dwFlags, lpMem, &size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<SIZE_T>(-1);
    }
    return size;
}

BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
    auto heap = ReferenceHeap(hHeap);
    if (!heap)
        return FALSE;
    if (!lpMem)
        return TRUE;  // as free(NULL)
    if (!heap->Free(dwFlags, lpMem)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

HANDLE GetProcessHeap() {
    static HANDLE processHeap = orvi::kernel::InsertHandle(std::make_shared<Heap>(0, 0, true));
    return processHeap;
}
