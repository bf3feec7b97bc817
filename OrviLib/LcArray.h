// CLcArray<T>: the growable array behind every list of the system (records,
// record pointers, images, styles, cache entries, playlist entries).
//
// Sharing. The object is one pointer to a reference-counted buffer: a header
// of four 32-bit words (reference count, element count, capacity, a spare
// word carried along on growth) followed by the elements. Copying or
// assigning an array shares the buffer; it is NOT copy-on-write. While two
// arrays share a buffer, writing an element through one is seen through the
// other, and so is any size change that stays within the capacity (the count
// lives in the shared header). A change that needs a new buffer (growing past
// the capacity) or that drops it (size 0) detaches only the array it is made
// on; the others keep the old buffer. Callers that want an independent copy
// build one element by element.
//
// Growth. Growing past the capacity allocates
//   max(capacity + min(max(count / 8, 4), 1024), requested size)
// elements, copies the old ones and zero-fills the new slots; growing within
// the capacity zero-fills in place; shrinking only lowers the count; size 0
// releases the buffer.
//
// Elements are plain data, copied byte-wise and never destroyed: an array of
// record pointers never deletes what they point to; the records' owner does.
//
// Threads. Copies may be made and destroyed on different threads (the
// reference count is interlocked); everything else, including reading an
// array that another thread changes, is the caller's to serialise.
#pragma once

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform.h"

template <class T>
class CLcArray {
    static_assert(std::is_trivially_copyable_v<T>, "CLcArray holds plain data only");
    static_assert(alignof(T) <= 16, "elements follow a 16-byte header");

public:
    CLcArray() = default;
    CLcArray(const CLcArray& other) : m_pBuffer(other.m_pBuffer) { AddRef(m_pBuffer); }
    CLcArray& operator=(const CLcArray& other) {
        Buffer* previous = m_pBuffer;
        AddRef(other.m_pBuffer);
        m_pBuffer = other.m_pBuffer;
        Release(previous);
        return *this;
    }
    ~CLcArray() { Release(m_pBuffer); }

    int GetSize() const { return m_pBuffer ? m_pBuffer->nCount : 0; }
    int GetCapacity() const { return m_pBuffer ? m_pBuffer->nCapacity : 0; }
    bool IsEmpty() const { return GetSize() == 0; }

    // Resizes by the growth rules above. False (array unchanged) for a
    // negative size or when memory runs out.
    bool SetSize(int nNewSize);
    // Appends a copy of item (which may be an element of this array).
    // Returns its index, or -1 when memory runs out.
    int Add(const T& item);
    // Inserts before nIndex (0..GetSize()). False for an index out of range
    // or when memory runs out.
    bool InsertAt(int nIndex, const T& item);
    // Removes nCount elements from nIndex on; false (nothing removed) when the
    // range is not inside the array. Removing the last elements releases the
    // buffer, as SetSize(0) does.
    bool RemoveAt(int nIndex, int nCount = 1);
    void RemoveAll() { SetSize(0); }
    // Index of the first element equal to item, or -1.
    int Find(const T& item) const;

    T& operator[](int nIndex) {
        assert(nIndex >= 0 && nIndex < GetSize());
        return Elements(m_pBuffer)[nIndex];
    }
    const T& operator[](int nIndex) const {
        assert(nIndex >= 0 && nIndex < GetSize());
        return Elements(m_pBuffer)[nIndex];
    }
    // NULL while the array has no buffer.
    T* GetData() { return m_pBuffer ? Elements(m_pBuffer) : nullptr; }
    const T* GetData() const { return m_pBuffer ? Elements(m_pBuffer) : nullptr; }
    T* begin() { return GetData(); }
    T* end() { return GetData() + GetSize(); }
    const T* begin() const { return GetData(); }
    const T* end() const { return GetData() + GetSize(); }

private:
    struct Buffer {
        LONG nRefs;
        LONG nCount;
        LONG nCapacity;
        LONG nSpare;
    };
    static_assert(sizeof(Buffer) == 16, "the header is four 32-bit words");

    static T* Elements(Buffer* buffer) { return reinterpret_cast<T*>(buffer + 1); }
    static void AddRef(Buffer* buffer) {
        if (buffer)
            InterlockedIncrement(&buffer->nRefs);
    }
    static void Release(Buffer* buffer) {
        if (buffer && InterlockedDecrement(&buffer->nRefs) == 0)
            std::free(buffer);
    }
    static LONG GrownCapacity(LONG nCapacity, LONG nCount, LONG nRequested);
    bool Reallocate(int nNewSize);

    Buffer* m_pBuffer = nullptr;
};

template <class T>
LONG CLcArray<T>::GrownCapacity(LONG nCapacity, LONG nCount, LONG nRequested) {
    const int64_t step = std::min<int64_t>(std::max<int64_t>(nCount / 8, 4), 1024);
    const int64_t grown = std::min<int64_t>(int64_t{nCapacity} + step, INT_MAX);
    return static_cast<LONG>(std::max<int64_t>(grown, nRequested));
}

template <class T>
bool CLcArray<T>::Reallocate(int nNewSize) {
    const LONG nCount = GetSize();
    const LONG nCapacity = GrownCapacity(GetCapacity(), nCount, nNewSize);
    if (static_cast<size_t>(nCapacity) > (SIZE_MAX - sizeof(Buffer)) / sizeof(T))
        return false;
    auto* buffer = static_cast<Buffer*>(std::malloc(sizeof(Buffer) + size_t(nCapacity) * sizeof(T)));
    if (!buffer)
        return false;
    buffer->nRefs = 1;
    buffer->nCount = nNewSize;
    buffer->nCapacity = nCapacity;
    buffer->nSpare = 0;
    if (m_pBuffer) {
        buffer->nSpare = m_pBuffer->nSpare;
        std::memcpy(static_cast<void*>(Elements(buffer)), Elements(m_pBuffer), size_t(nCount) * sizeof(T));
    }
    std::memset(static_cast<void*>(Elements(buffer) + nCount), 0, size_t(nNewSize - nCount) * sizeof(T));
    Release(m_pBuffer);
    m_pBuffer = buffer;
    return true;
}

template <class T>
bool CLcArray<T>::SetSize(int nNewSize) {
    if (nNewSize < 0)
        return false;
    if (nNewSize == 0) {
        Release(m_pBuffer);
        m_pBuffer = nullptr;
        return true;
    }
    if (nNewSize > GetCapacity())
        return Reallocate(nNewSize);
    const LONG nCount = m_pBuffer->nCount;
    if (nNewSize > nCount)
        std::memset(static_cast<void*>(Elements(m_pBuffer) + nCount), 0, size_t(nNewSize - nCount) * sizeof(T));
    m_pBuffer->nCount = nNewSize;
    return true;
}

template <class T>
int CLcArray<T>::Add(const T& item) {
    const T copy = item;  // item may live in the buffer that growth replaces
    const int nIndex = GetSize();
    if (nIndex == INT_MAX || !SetSize(nIndex + 1))
        return -1;
    Elements(m_pBuffer)[nIndex] = copy;
    return nIndex;
}

template <class T>
bool CLcArray<T>::InsertAt(int nIndex, const T& item) {
    const int nCount = GetSize();
    if (nIndex < 0 || nIndex > nCount)
        return false;
    const T copy = item;
    if (nCount == INT_MAX || !SetSize(nCount + 1))
        return false;
    T* elements = Elements(m_pBuffer);
    std::memmove(static_cast<void*>(elements + nIndex + 1), elements + nIndex, size_t(nCount - nIndex) * sizeof(T));
    elements[nIndex] = copy;
    return true;
}

template <class T>
bool CLcArray<T>::RemoveAt(int nIndex, int nCount) {
    const int nSize = GetSize();
    if (nIndex < 0 || nCount < 0 || nIndex > nSize || nCount > nSize - nIndex)
        return false;
    if (nCount == 0)
        return true;
    T* elements = Elements(m_pBuffer);
    std::memmove(static_cast<void*>(elements + nIndex), elements + nIndex + nCount,
                 size_t(nSize - nIndex - nCount) * sizeof(T));
    return SetSize(nSize - nCount);
}

template <class T>
int CLcArray<T>::Find(const T& item) const {
    const int nSize = GetSize();
    for (int i = 0; i < nSize; ++i) {
        if (Elements(m_pBuffer)[i] == item)
            return i;
    }
    return -1;
}
