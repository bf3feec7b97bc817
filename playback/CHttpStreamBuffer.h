// A CHttpStream with a ring of up to 1 MB and, once started, a reader
// thread that keeps the ring filled from the network while the consumer
// (the decode thread) takes from it.
//
// Threading: before StartReader every call is made on the opening thread
// and reads are direct (ring first, then the network). After it the reader
// thread owns the connection and the consumer waits on its own queue for
// UM_STREAM_DATA (enough bytes), UM_STREAM_END (no more) or
// UM_STREAM_CANCEL (give up), taking only thread messages 1792..1796; the
// reader also tells it of a network error, and every wait keeps the
// caller's time limit. A Seek that needs a new request answers -1 while
// the reader runs.
//
// Stopping: Close and Destroy make a consumer blocked in Read give up (-1),
// post UM_STREAM_CANCEL to the reader (lParam: the stopping thread, which
// the reader acknowledges with UM_STREAM_DATA) and wait up to 4000 ms for
// the reader to end. A reader that does not end in time keeps the connection and the
// object: Close then leaves the handles to it, and Destroy leaves the
// deletion to it (the reader holds a reference while it runs, as does a
// consumer inside Read).
#pragma once

#include <atomic>

#include "CHttpStream.h"
#include "CStreamSignal.h"

class CHttpStreamBuffer : public CHttpStream {
public:
    static constexpr DWORD kMaxRingSize = 1048576;
    static constexpr DWORD kReaderStopMs = 4000;
    static constexpr DWORD kReaderReadLimitMs = 60000;

    CHttpStreamBuffer();

    // Cancels a blocked consumer and stops the reader first.
    void Close() override;
    // More than the ring's capacity gives -1, 0 bytes give 0. Without the
    // reader: as CHttpStream, under the ring's lock. With it: waits until
    // cbBuffer bytes are in, the stream ends (what is in so far, 0 at the
    // end), it fails, is cancelled or the limit passes (what is in, or -1
    // when nothing is).
    int Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) override;
    // Starts the reader thread once the stream is bound; later calls, and a
    // call without a ring, do nothing. Call it on the thread that opened the
    // stream.
    void StartReader() override;

    BOOL ReaderStarted() const { return m_nReaderState.load() == kStarted; }

protected:
    // Makes the ring on the first connect: the content length when that is
    // from 1 byte to 1 MB, else 1 MB.
    void OnConnected() override;
    ~CHttpStreamBuffer() override;
    void Shutdown() override;
    bool ConnectionBusy() const override { return m_nReaderState.load() == kStarted; }

private:
    enum ReaderState : LONG { kNotStarted = 0, kStarted = 2 };
    enum NetworkState : LONG { kFlowing, kEnded, kFailed };

    int ReadBuffered(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs);
    int TakeFromRing(BYTE* pBuffer, int cbBuffer);
    bool ArmThreshold(DWORD dwMissing);
    void CancelConsumer();
    // True when the reader has ended (or never ran) within the limit.
    bool StopReader(DWORD dwLimitMs);
    void DropAcknowledgement();

    // CHttpStreamReader.cpp: the reader thread.
    static DWORD ReaderMain(LPVOID pParameter);
    void RunReader();
    bool WaitForWake(LPARAM* plSender);
    bool FillRing(BYTE* pChunk, int* pcbHand, LPARAM* plSender);
    bool PauseAfterEnd(LPARAM* plSender);
    bool StoreChunk(const BYTE* pChunk, int cbChunk);
    void EndNetwork(LONG nState);
    void TellConsumer(UINT uMsg);
    void FinishReader(LPARAM lSender);

    std::atomic<DWORD> m_dwReaderThread{0};
    HANDLE m_hReaderThread = nullptr;
    CStreamSignal m_readerWake;  // its event is the reader's auto-reset wake-up event
    std::atomic<DWORD> m_dwConsumer{0};
    std::atomic<LONG> m_nReaderState{kNotStarted};
    std::atomic<DWORD> m_dwThreshold{0};

    CStreamSignal m_consumerWake;
    std::atomic<LONG> m_nNetworkState{kFlowing};
    std::atomic<bool> m_bCancelConsumer{false};  // the stream is closing: reads give up
    bool m_bStopPosted = false;     // a stop is under way (owner's thread)
    bool m_bConsumerCancel = false;  // a cancel that ended a read with data is owed to the next one
};
