#include "CHttpHeap.h"

#include <mutex>

namespace {

struct HeapState {
    std::mutex lock;
    HANDLE heap = nullptr;
    SIZE_T total = 0;
};

HeapState& State() {
    static HeapState state;
    return state;
}

}  // namespace

void* CHttpHeap::Alloc(SIZE_T bytes) {
    HeapState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.heap) {
        state.heap = HeapCreate(0, kInitialSize, kMaximumSize);
        if (!state.heap)
            return nullptr;
    }
    void* block = HeapAlloc(state.heap, 0, bytes ? bytes : 1);  // a 0-byte block would not count
    if (block) {
        state.total += HeapSize(state.heap, 0, block);
    } else if (state.total == 0) {
        HeapDestroy(state.heap);
        state.heap = nullptr;
    }
    return block;
}

void CHttpHeap::Free(void* block) {
    if (!block)
        return;
    HeapState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.heap)
        return;
    const SIZE_T size = HeapSize(state.heap, 0, block);
    if (!HeapFree(state.heap, 0, block))
        return;
    state.total = size < state.total ? state.total - size : 0;
    if (state.total == 0) {
        HeapDestroy(state.heap);
        state.heap = nullptr;
    }
}

SIZE_T CHttpHeap::AllocatedBytes() {
    HeapState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.heap ? state.total : 0;
}

bool CHttpHeap::Exists() {
    HeapState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.heap != nullptr;
}
