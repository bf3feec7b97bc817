#include "CHttpStreamBuffer.h"

#include <utility>
#include <vector>

#include "CStreamRing.h"

namespace {

constexpr UINT kConsumerFirst = WM_USER + 768;
constexpr UINT kConsumerLast = UM_STREAM_END;
const HWND kThreadMessages = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

}  // namespace

CHttpStreamBuffer::CHttpStreamBuffer() = default;

CHttpStreamBuffer::~CHttpStreamBuffer() {
    // Deleted by the reader itself (after its loop) or after it was stopped.
    if (m_dwReaderThread.load() != GetCurrentThreadId())
        StopReader(kReaderStopMs);
    if (m_hReaderThread)
        CloseHandle(m_hReaderThread);
}

void CHttpStreamBuffer::OnConnected() {
    CHttpStream::OnConnected();
    if (!m_pRing) {
        m_pRing = new CStreamRing;
        const DWORD length = m_dwContentLength;
        m_pRing->Allocate(length >= 1 && length <= kMaxRingSize ? length : kMaxRingSize);
    }
    m_nNetworkState.store(kFlowing);
    m_bCancelConsumer.store(false);
}

void CHttpStreamBuffer::Close() {
    CancelConsumer();
    if (!StopReader(kReaderStopMs))
        return;  // the reader still uses the handles; they go with the object
    m_nNetworkState.store(kFlowing);
    m_bConsumerCancel = false;
    CHttpStream::Close();
}

void CHttpStreamBuffer::Shutdown() {
    CancelConsumer();
    // A stop that Close already waited for gets no second wait.
    StopReader(m_bStopPosted ? 0 : kReaderStopMs);
}

// A flag and the consumer's event rather than a posted UM_STREAM_CANCEL:
// a message that arrived after the consumer had left its read would stay in
// the decode thread's queue and cancel some later read of another stream.
void CHttpStreamBuffer::CancelConsumer() {
    m_bCancelConsumer.store(true);
    m_consumerWake.Set();
}

bool CHttpStreamBuffer::StopReader(DWORD dwLimitMs) {
    if (m_nReaderState.load() != kStarted || !m_hReaderThread)
        return true;
    if (!m_bStopPosted) {
        m_readerWake.Post(m_dwReaderThread.load(), UM_STREAM_CANCEL, 0,
                          static_cast<LPARAM>(GetCurrentThreadId()));
        m_bStopPosted = true;
    }
    // The thread's end, not the acknowledgement, is what frees the object:
    // a late acknowledgement of an earlier stop must not be taken for it.
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &m_hReaderThread, FALSE,
                                                      CStreamSignal::Remaining(start, dwLimitMs), QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        MSG msg;
        PeekMessageW(&msg, kThreadMessages, kConsumerFirst, kConsumerLast, PM_NOREMOVE);  // handles sent messages
    }
    CloseHandle(m_hReaderThread);
    m_hReaderThread = nullptr;
    m_dwReaderThread.store(0);
    m_nReaderState.store(kNotStarted);
    m_bStopPosted = false;
    DropAcknowledgement();
    return true;
}

// Takes the reader's acknowledgement out of this thread's queue; other
// streams' UM_STREAM_DATA messages go back in.
void CHttpStreamBuffer::DropAcknowledgement() {
    std::vector<MSG> others;
    MSG msg;
    while (PeekMessageW(&msg, kThreadMessages, UM_STREAM_DATA, UM_STREAM_DATA, PM_REMOVE)) {
        if (msg.lParam != reinterpret_cast<LPARAM>(this))
            others.push_back(msg);
    }
    for (const MSG& other : others)
        PostThreadMessageW(GetCurrentThreadId(), other.message, other.wParam, other.lParam);
}

void CHttpStreamBuffer::StartReader() {
    if (m_nReaderState.load() != kNotStarted || !m_pRing || m_pRing->Capacity() == 0)
        return;
    AddRef();  // the reader's reference, released when its thread ends
    m_nReaderState.store(kStarted);
    DWORD id = 0;
    m_hReaderThread = CreateThread(nullptr, 0, ReaderMain, this, 0, &id);
    if (!m_hReaderThread) {
        m_nReaderState.store(kNotStarted);
        Release();
        return;
    }
    m_dwReaderThread.store(id);
    m_readerWake.Set();  // fill ahead at once
}

int CHttpStreamBuffer::Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    if (cbBuffer == 0)
        return 0;
    if (cbBuffer < 0 || !m_pRing || static_cast<DWORD>(cbBuffer) > m_pRing->Capacity())
        return -1;
    if (m_nReaderState.load() == kStarted)
        return ReadBuffered(pBuffer, cbBuffer, dwTimeoutMs);
    CStreamRingLock lock(m_pRing);
    return CHttpStream::Read(pBuffer, cbBuffer, dwTimeoutMs);
}

int CHttpStreamBuffer::TakeFromRing(BYTE* pBuffer, int cbBuffer) {
    const int got = m_pRing->Read(pBuffer, cbBuffer);
    if (got > 0) {
        m_dwThreshold.store(0);
        m_readerWake.Set();
    }
    return got;
}

// True when the consumer has to wait: the ring holds fewer bytes than it
// misses and the network has not ended (see StoreChunk for the lock).
bool CHttpStreamBuffer::ArmThreshold(DWORD dwMissing) {
    CStreamRingLock lock(m_pRing);
    m_dwThreshold.store(dwMissing);
    return m_pRing->Filled() < dwMissing && m_nNetworkState.load() == kFlowing;
}

int CHttpStreamBuffer::ReadBuffered(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    if (std::exchange(m_bConsumerCancel, false))
        return -1;
    AddRef();  // a Destroy meanwhile leaves the deletion to this call
    m_dwConsumer.store(GetCurrentThreadId());
    const DWORD start = GetTickCount();
    int got = 0;
    bool failed = false;
    bool cancelled = false;
    while (got < cbBuffer) {
        if (m_bCancelConsumer.load()) {
            cancelled = true;
            break;
        }
        const int taken = TakeFromRing(pBuffer + got, cbBuffer - got);
        got += taken;
        if (taken > 0)
            continue;
        const LONG network = m_nNetworkState.load();
        if (network != kFlowing) {
            failed = network == kFailed;
            break;
        }
        m_readerWake.Set();
        if (!ArmThreshold(static_cast<DWORD>(cbBuffer - got)))
            continue;
        MSG msg;
        const CStreamSignal::WaitResult woken =
            m_consumerWake.Wait(kConsumerFirst, kConsumerLast, start, dwTimeoutMs, &msg);
        if (woken == CStreamSignal::kTimeout) {
            got += TakeFromRing(pBuffer + got, cbBuffer - got);
            failed = true;
            break;
        }
        if (woken == CStreamSignal::kMessage && msg.message == UM_STREAM_CANCEL) {
            cancelled = true;
            break;
        }
    }
    m_dwThreshold.store(0);
    m_dwConsumer.store(0);
    m_dwPosition += static_cast<DWORD>(got);
    if (cancelled && got > 0)
        m_bConsumerCancel = true;  // the bytes are delivered; the cancel ends the next read
    const int result = got > 0 ? got : (failed || cancelled) ? -1 : 0;
    Release();
    return result;
}
