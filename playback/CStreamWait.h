// The wait context of a stream connection: what the internet service's
// status callback needs to wake the thread waiting for an asynchronous step,
// and the state of that one step.
//
// It is allocated apart from the stream and handed to the service as the
// URL request's context, so that it moves with the connection when another
// stream object takes the connection over (TakeOver); the owner pointer
// follows. It must outlive the internet handles it was given to, which the
// owning stream guarantees by closing them first.
//
// Steps: one at a time. A read whose wait ended early (time limit or
// cancel) stays outstanding into the context's own buffer, never into a
// caller's, and the next Read collects it, so no byte is lost and no late
// completion writes into freed memory. Completion is recorded in the
// context; the posted UM_STREAM_DATA only wakes the waiter.
//
// Threading: the status callback runs on the service's network thread and
// touches only the atomics and the signal. Everything else belongs to the
// thread that drives the connection (the opening thread, later the reader),
// one at a time.
#pragma once

#include <atomic>
#include <memory>

#include "CStreamSignal.h"
#include "platform.h"

class CHttpStream;

class CStreamWait {
public:
    static constexpr DWORD kReadBufferSize = 32768;
    enum Result : int { kOk = 0, kCancelled = -1, kFailed = -2, kPending = 1, kTimeout = -1000 };

    explicit CStreamWait(CHttpStream* pOwner);
    ~CStreamWait();
    CStreamWait(const CStreamWait&) = delete;
    CStreamWait& operator=(const CStreamWait&) = delete;

    static void CALLBACK StatusCallback(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwStatus,
                                        LPVOID pInfo, DWORD cbInfo);

    // InternetOpenUrlW as one step: kOk with *phUrl (NULL when the request
    // failed), kCancelled or kTimeout. After a failed wait the open is still
    // outstanding (OpenOutstanding); only closing the internet handle ends it.
    int OpenUrl(HINTERNET hInternet, LPCWSTR pszUrl, LPCWSTR pszHeaders, DWORD dwFlags, DWORD dwStart,
                DWORD dwLimitMs, HINTERNET* phUrl);
    // One read of at most cb bytes: kOk with *pcbRead (0 = end of the body),
    // kFailed, kCancelled or kTimeout.
    int Read(HINTERNET hUrl, BYTE* pOut, DWORD cb, DWORD dwStart, DWORD dwLimitMs, DWORD* pcbRead);
    // The URL handle (or the whole internet handle) has been closed: no step
    // is outstanding any more and unread bytes of that request are dropped.
    void Forget();

    bool OpenOutstanding() const { return m_step == Step::Open; }
    // The thread waiting for a step now, 0 when none.
    DWORD WaitingThread() const { return m_dwThread.load(); }
    // The lParam of the UM_STREAM_CANCEL that ended the last wait with
    // kCancelled (the thread owed an acknowledgement, or 0).
    LPARAM CancelSender() const { return m_lCancelSender; }

    CHttpStream* Owner() const { return m_pOwner.load(); }
    void SetOwner(CHttpStream* pOwner) { m_pOwner.store(pOwner); }

private:
    enum class Step { None, Open, Read };

    void Begin(Step step);
    int WaitForStep(DWORD dwStart, DWORD dwLimitMs);
    void OnRequestComplete(const INTERNET_ASYNC_RESULT* pResult);
    int StartRead(HINTERNET hUrl, DWORD cb);

    std::atomic<DWORD> m_dwThread{0};
    std::atomic<CHttpStream*> m_pOwner;
    CStreamSignal m_signal;
    std::atomic<bool> m_bDone{false};
    // Written by the callback before m_bDone is set.
    DWORD_PTR m_dwResult = 0;
    DWORD m_dwError = 0;

    Step m_step = Step::None;
    std::unique_ptr<BYTE[]> m_pBuffer;
    DWORD m_cbRead = 0;  // filled in by the service when a pending read completes
    DWORD m_cbLeft = 0;  // bytes of the buffer not yet handed out
    DWORD m_dwLeftAt = 0;
    LPARAM m_lCancelSender = 0;
};
