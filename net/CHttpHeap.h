// The private heap that holds the HTTP client's bodies, texts and copy
// buffers. One heap serves every client of the process; it is created on the
// first allocation (64 KB initial, 4 MB at most) and destroyed when a free
// brings the bytes handed out back to zero, so an idle program holds none of
// it.
//
// Threading: any thread may allocate and free. The running total and the
// create/destroy-at-zero step share one lock, so a free that empties the
// heap cannot destroy it under another thread's new allocation.
#pragma once

#include "platform.h"

class CHttpHeap {
public:
    // Null when the heap cannot be made or its 4 MB limit would be passed.
    static void* Alloc(SIZE_T bytes);
    // Null is ignored. The block must come from Alloc.
    static void Free(void* block);

    // Bytes handed out, as the heap measures its blocks; 0 when the heap
    // does not exist.
    static SIZE_T AllocatedBytes();
    static bool Exists();

    static constexpr SIZE_T kInitialSize = 65536;
    static constexpr SIZE_T kMaximumSize = 4194304;
};
