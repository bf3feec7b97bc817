#include "CStreamRing.h"

#include <algorithm>
#include <cstring>
#include <new>

CStreamRing::CStreamRing() { InitializeCriticalSection(&m_cs); }

CStreamRing::~CStreamRing() {
    delete[] m_pBase;
    DeleteCriticalSection(&m_cs);
}

BOOL CStreamRing::Allocate(DWORD dwCapacity) {
    CStreamRingLock lock(this);
    delete[] m_pBase;
    m_pBase = dwCapacity ? new (std::nothrow) BYTE[static_cast<size_t>(dwCapacity) + 1] : nullptr;
    m_dwCapacity = m_pBase ? dwCapacity : 0;
    Reset();
    return m_pBase != nullptr;
}

void CStreamRing::Reset() {
    CStreamRingLock lock(this);
    m_pRead = m_pWrite = m_pBase;
    m_dwFilled = 0;
    m_bWrapped = false;
}

DWORD CStreamRing::Filled() const {
    CStreamRingLock lock(this);
    return m_dwFilled;
}

DWORD CStreamRing::Stored() const {
    CStreamRingLock lock(this);
    return static_cast<DWORD>(m_pWrite - m_pBase);
}

BOOL CStreamRing::IsLinear() const {
    CStreamRingLock lock(this);
    return m_pBase && !m_bWrapped;
}

int CStreamRing::Write(const BYTE* pData, int n) {
    CStreamRingLock lock(this);
    if (n <= 0 || !m_pBase || static_cast<DWORD>(n) > m_dwCapacity - m_dwFilled)
        return 0;
    BYTE* pEnd = m_pBase + m_dwCapacity;
    const DWORD first = std::min(static_cast<DWORD>(pEnd - m_pWrite), static_cast<DWORD>(n));
    std::memcpy(m_pWrite, pData, first);
    m_pWrite += first;
    if (first < static_cast<DWORD>(n)) {
        const DWORD rest = static_cast<DWORD>(n) - first;
        std::memcpy(m_pBase, pData + first, rest);
        m_pWrite = m_pBase + rest;
        m_bWrapped = true;
    }
    m_dwFilled += static_cast<DWORD>(n);
    return n;
}

void CStreamRing::CopyOut(const BYTE* pFrom, BYTE* pOut, DWORD n) const {
    const BYTE* pEnd = m_pBase + m_dwCapacity;
    const DWORD first = std::min(static_cast<DWORD>(pEnd - pFrom), n);
    std::memcpy(pOut, pFrom, first);
    if (first < n)
        std::memcpy(pOut + first, m_pBase, n - first);
}

int CStreamRing::Read(BYTE* pOut, int n) {
    CStreamRingLock lock(this);
    const DWORD count = n > 0 ? std::min(m_dwFilled, static_cast<DWORD>(n)) : 0;
    if (count == 0)
        return 0;
    CopyOut(m_pRead, pOut, count);
    const DWORD toEnd = static_cast<DWORD>(m_pBase + m_dwCapacity - m_pRead);
    m_pRead = count < toEnd ? m_pRead + count : m_pBase + (count - toEnd);
    m_dwFilled -= count;
    // An empty ring keeps its read pointer at the write pointer, which may
    // stand at the very end while the ring is linear.
    if (m_dwFilled == 0)
        m_pRead = m_pWrite;
    return static_cast<int>(count);
}

int CStreamRing::Peek(BYTE* pOut, int n) const {
    CStreamRingLock lock(this);
    const DWORD count = n > 0 ? std::min(m_dwFilled, static_cast<DWORD>(n)) : 0;
    if (count)
        CopyOut(m_pRead, pOut, count);
    return static_cast<int>(count);
}

int CStreamRing::Keep(const BYTE* pData, int n) {
    CStreamRingLock lock(this);
    if (n < 0 || !m_pBase || m_bWrapped || m_dwFilled != 0 ||
        static_cast<DWORD>(n) > static_cast<DWORD>(m_pBase + m_dwCapacity - m_pWrite))
        return -1;
    std::memcpy(m_pWrite, pData, static_cast<size_t>(n));
    m_pWrite += n;
    m_pRead = m_pWrite;
    return n;
}

int CStreamRing::Rewind(DWORD dwOffset) {
    CStreamRingLock lock(this);
    if (!m_pBase || m_bWrapped || dwOffset > static_cast<DWORD>(m_pWrite - m_pBase))
        return -1;
    m_pRead = m_pBase + dwOffset;
    m_dwFilled = static_cast<DWORD>(m_pWrite - m_pRead);
    return static_cast<int>(dwOffset);
}

BYTE* CStreamRing::WriteSpace(DWORD* pcbRoom) {
    CStreamRingLock lock(this);
    *pcbRoom = 0;
    if (!m_pBase || m_dwFilled == m_dwCapacity)
        return nullptr;
    BYTE* pEnd = m_pBase + m_dwCapacity;
    BYTE* pAt = m_pWrite == pEnd ? m_pBase : m_pWrite;
    *pcbRoom = std::min(static_cast<DWORD>(pEnd - pAt), m_dwCapacity - m_dwFilled);
    return pAt;
}

int CStreamRing::Commit(int n) {
    CStreamRingLock lock(this);
    DWORD room = 0;
    BYTE* pAt = WriteSpace(&room);
    if (n < 0 || static_cast<DWORD>(n) > room)
        return -1;
    if (n == 0)
        return 0;
    if (pAt != m_pWrite)
        m_bWrapped = true;
    m_pWrite = pAt + n;
    m_dwFilled += static_cast<DWORD>(n);
    return n;
}

void CStreamRing::Terminate() {
    CStreamRingLock lock(this);
    if (m_pBase && !m_bWrapped)
        *m_pWrite = 0;
}
