// The reader thread of CHttpStreamBuffer: fills the ring from the network
// and wakes the consumer.
#include <memory>

#include "CHttpStreamBuffer.h"
#include "CStreamRing.h"
#include "CStreamWait.h"

namespace {

constexpr UINT kReaderFirst = WM_USER + 768;
constexpr UINT kReaderLast = UM_STREAM_END;
constexpr DWORD kEndPauseMs = 1000;
const HWND kThreadMessages = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

}  // namespace

// The thread holds a reference from StartReader on; dropping it may delete
// the object, so nothing touches it afterwards.
DWORD CHttpStreamBuffer::ReaderMain(LPVOID pParameter) {
    auto* pSelf = static_cast<CHttpStreamBuffer*>(pParameter);
    pSelf->RunReader();
    pSelf->Release();
    return 0;
}

void CHttpStreamBuffer::RunReader() {
    const std::unique_ptr<BYTE[]> pChunk(new BYTE[kNetworkReadSize]);
    int cbHand = 0;  // bytes read but not yet in the ring
    LPARAM lSender = 0;
    while (WaitForWake(&lSender) && FillRing(pChunk.get(), &cbHand, &lSender)) {
    }
    FinishReader(lSender);
}

// False when a UM_STREAM_CANCEL arrived (its lParam in *plSender).
bool CHttpStreamBuffer::WaitForWake(LPARAM* plSender) {
    for (;;) {
        MSG msg;
        const CStreamSignal::WaitResult woken =
            m_readerWake.Wait(kReaderFirst, kReaderLast, GetTickCount(), INFINITE, &msg);
        if (woken == CStreamSignal::kEvent)
            return true;
        if (woken == CStreamSignal::kMessage && msg.message == UM_STREAM_CANCEL) {
            *plSender = msg.lParam;
            return false;
        }
    }
}

// Stores what the network delivers, one read step at a time (so a slow
// stream reaches the consumer as it comes), until the network ends, fails
// or keeps silent for the read limit, or the ring is full. False when a
// UM_STREAM_CANCEL arrived.
bool CHttpStreamBuffer::FillRing(BYTE* pChunk, int* pcbHand, LPARAM* plSender) {
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, kThreadMessages, UM_STREAM_CANCEL, UM_STREAM_CANCEL, PM_REMOVE)) {
            *plSender = msg.lParam;
            return false;
        }
        if (*pcbHand == 0) {
            const int got = ReadFromNetwork(pChunk, static_cast<int>(kNetworkReadSize), kReaderReadLimitMs, false);
            if (m_nLastNetResult == CStreamWait::kCancelled) {
                *plSender = m_lCancelSender;
                return false;
            }
            if (got == 0) {
                EndNetwork(kEnded);
                PostFill();
                return PauseAfterEnd(plSender);
            }
            if (got < 0) {
                // At the time limit the read stays outstanding and the next
                // wake-up collects it; a failure is final.
                if (m_nLastNetResult != CStreamWait::kTimeout)
                    EndNetwork(kFailed);
                return true;
            }
            *pcbHand = got;
        }
        if (!StoreChunk(pChunk, *pcbHand))
            return true;  // full: the bytes in hand wait for room
        *pcbHand = 0;
        PostFill();
    }
}

// The consumer arms its threshold and looks at the ring and the network
// state under the ring's lock (ArmThreshold); the reader changes them and
// looks at the threshold under the same lock. So either the consumer sees
// the change or the reader sees it waiting, and only a waiting consumer
// gets a message, none left behind in the queue of one that does not wait.
bool CHttpStreamBuffer::StoreChunk(const BYTE* pChunk, int cbChunk) {
    bool stored;
    bool wake;
    {
        CStreamRingLock lock(m_pRing);
        stored = m_pRing->Write(pChunk, cbChunk) == cbChunk;
        const DWORD threshold = m_dwThreshold.load();
        wake = threshold && (!stored || m_pRing->Filled() >= threshold);
    }
    if (wake)
        TellConsumer(UM_STREAM_DATA);
    return stored;
}

// The network has no more for now, or failed: what the ring holds is all
// the consumer gets.
void CHttpStreamBuffer::EndNetwork(LONG nState) {
    bool wake;
    UINT uMsg;
    {
        CStreamRingLock lock(m_pRing);
        m_nNetworkState.store(nState);
        wake = m_dwThreshold.load() != 0;
        uMsg = m_pRing->Filled() > 0 ? UM_STREAM_DATA : UM_STREAM_END;
    }
    if (wake)
        TellConsumer(uMsg);
}

// After the end of the data the network is asked again only after a pause;
// a cancel ends the pause, a wake-up meanwhile is kept for afterwards.
bool CHttpStreamBuffer::PauseAfterEnd(LPARAM* plSender) {
    const DWORD start = GetTickCount();
    bool woken = false;
    for (;;) {
        MSG msg;
        const CStreamSignal::WaitResult result = m_readerWake.Wait(kReaderFirst, kReaderLast, start, kEndPauseMs, &msg);
        if (result == CStreamSignal::kTimeout)
            break;
        if (result == CStreamSignal::kEvent)
            woken = true;
        else if (msg.message == UM_STREAM_CANCEL) {
            *plSender = msg.lParam;
            return false;
        }
    }
    if (woken)
        m_readerWake.Set();
    return true;
}

void CHttpStreamBuffer::TellConsumer(UINT uMsg) {
    if (const DWORD consumer = m_dwConsumer.load())
        m_consumerWake.Post(consumer, uMsg, 0, reinterpret_cast<LPARAM>(this));
}

void CHttpStreamBuffer::FinishReader(LPARAM lSender) {
    CancelConsumer();
    if (lSender)
        PostThreadMessageW(static_cast<DWORD>(lSender), UM_STREAM_DATA, 0, reinterpret_cast<LPARAM>(this));
}
