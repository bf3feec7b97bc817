// The byte ring between a stream's network side and its consumer.
//
// The ring is "linear" until data is first written across its end: until
// then the bytes from the base to the write pointer are, in order, every
// byte stored since the last Reset, so that a consumer can step back over
// bytes it has already taken (Keep and Rewind work only in that state).
//
// Threading: every operation takes the ring's own lock, so the reader
// thread may Write while the consumer Reads. Lock/Unlock hold it across a
// compound step; the lock is recursive. The storage itself belongs to the
// ring and lives until Allocate replaces it or the ring is destroyed.
#pragma once

#include "platform.h"

class CStreamRing {
public:
    CStreamRing();
    ~CStreamRing();
    CStreamRing(const CStreamRing&) = delete;
    CStreamRing& operator=(const CStreamRing&) = delete;

    // Replaces the storage by an empty ring of dwCapacity bytes (plus one
    // guard byte, so Terminate never writes outside it). FALSE, and no
    // storage at all, when the memory cannot be had.
    BOOL Allocate(DWORD dwCapacity);

    // Copies all n bytes at the write pointer, wrapping at the end, when
    // they fit beside the filled bytes; otherwise writes nothing. Returns n
    // or 0.
    int Write(const BYTE* pData, int n);
    // Copies up to n filled bytes out and consumes them; returns the count.
    int Read(BYTE* pOut, int n);
    // As Read, without consuming.
    int Peek(BYTE* pOut, int n) const;
    // Linear state and nothing unread only: appends n bytes the caller has
    // already consumed, so that a Rewind can give them again. The filled
    // count stays 0. Returns n, or -1 (not linear, bytes unread, no room).
    int Keep(const BYTE* pData, int n);
    // Linear state only: the read pointer goes to base + dwOffset and
    // everything up to the write pointer counts as filled. Returns the
    // offset, or -1 when the ring has wrapped or the offset lies beyond
    // the write pointer.
    int Rewind(DWORD dwOffset);
    // The contiguous free room at the write pointer, for writing in place;
    // Commit then counts what was written there.
    BYTE* WriteSpace(DWORD* pcbRoom);
    // Counts n bytes written at WriteSpace() as filled. Returns n, or -1
    // when n exceeds the free room.
    int Commit(int n);
    // Read = write = base, nothing filled, linear again.
    void Reset();
    // Puts a zero byte behind the stored data (linear state only), for
    // callers that look at the stored text.
    void Terminate();

    DWORD Capacity() const { return m_dwCapacity; }
    DWORD Filled() const;
    // Bytes between the base and the write pointer: everything stored since
    // the last Reset while the ring is linear.
    DWORD Stored() const;
    BOOL IsLinear() const;

    void Lock() const { EnterCriticalSection(&m_cs); }
    void Unlock() const { LeaveCriticalSection(&m_cs); }

private:
    void CopyOut(const BYTE* pFrom, BYTE* pOut, DWORD n) const;

    mutable CRITICAL_SECTION m_cs;
    BYTE* m_pBase = nullptr;
    DWORD m_dwCapacity = 0;
    BYTE* m_pRead = nullptr;
    BYTE* m_pWrite = nullptr;
    DWORD m_dwFilled = 0;
    bool m_bWrapped = false;
};

// Holds a ring's lock for a scope.
class CStreamRingLock {
public:
    explicit CStreamRingLock(const CStreamRing* pRing) : m_pRing(pRing) {
        if (m_pRing)
            m_pRing->Lock();
    }
    ~CStreamRingLock() {
        if (m_pRing)
            m_pRing->Unlock();
    }
    CStreamRingLock(const CStreamRingLock&) = delete;
    CStreamRingLock& operator=(const CStreamRingLock&) = delete;

private:
    const CStreamRing* m_pRing;
};
