#include "CStreamWait.h"

#include <algorithm>
#include <cstring>

#include "CHttpStream.h"

namespace {

// A step's wait takes only these thread messages; UM_STREAM_END and every
// later number stay queued.
constexpr UINT kStepFirst = WM_USER + 768;
constexpr UINT kStepLast = UM_STREAM_DATA;

}  // namespace

CStreamWait::CStreamWait(CHttpStream* pOwner)
    : m_pOwner(pOwner), m_pBuffer(new BYTE[kReadBufferSize]) {}

CStreamWait::~CStreamWait() = default;

void CALLBACK CStreamWait::StatusCallback(HINTERNET, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pInfo,
                                          DWORD cbInfo) {
    auto* pWait = reinterpret_cast<CStreamWait*>(dwContext);
    if (!pWait || dwStatus != INTERNET_STATUS_REQUEST_COMPLETE || !pInfo ||
        cbInfo < sizeof(INTERNET_ASYNC_RESULT))
        return;  // the internet handle itself carries no context
    pWait->OnRequestComplete(static_cast<const INTERNET_ASYNC_RESULT*>(pInfo));
}

void CStreamWait::OnRequestComplete(const INTERNET_ASYNC_RESULT* pResult) {
    m_dwResult = pResult->dwResult;
    m_dwError = pResult->dwError;
    m_bDone.store(true);
    // Read after the flag is set: a waiter that registers later sees the
    // flag, one that registered earlier gets the message.
    m_signal.Post(m_dwThread.load(), UM_STREAM_DATA, 0, static_cast<LPARAM>(pResult->dwResult));
}

void CStreamWait::Begin(Step step) {
    m_bDone.store(false);
    m_dwResult = 0;
    m_dwError = 0;
    m_step = step;
}

int CStreamWait::WaitForStep(DWORD dwStart, DWORD dwLimitMs) {
    m_dwThread.store(GetCurrentThreadId());
    int result = kOk;
    for (;;) {
        if (m_bDone.load())
            break;
        MSG msg;
        const CStreamSignal::WaitResult woken = m_signal.Wait(kStepFirst, kStepLast, dwStart, dwLimitMs, &msg);
        if (woken == CStreamSignal::kTimeout) {
            result = m_bDone.load() ? kOk : kTimeout;
            break;
        }
        if (woken == CStreamSignal::kMessage && msg.message == UM_STREAM_CANCEL) {
            m_lCancelSender = msg.lParam;
            result = kCancelled;
            break;
        }
    }
    m_dwThread.store(0);
    return result;
}

int CStreamWait::OpenUrl(HINTERNET hInternet, LPCWSTR pszUrl, LPCWSTR pszHeaders, DWORD dwFlags, DWORD dwStart,
                         DWORD dwLimitMs, HINTERNET* phUrl) {
    *phUrl = nullptr;
    if (m_step == Step::Open)
        return kFailed;  // the earlier open still holds the context
    Begin(Step::Open);
    const DWORD cchHeaders = pszHeaders && *pszHeaders ? static_cast<DWORD>(-1) : 0;
    HINTERNET hUrl = InternetOpenUrlW(hInternet, pszUrl, cchHeaders ? pszHeaders : nullptr, cchHeaders, dwFlags,
                                      reinterpret_cast<DWORD_PTR>(this));
    if (hUrl || GetLastError() != ERROR_IO_PENDING) {
        m_step = Step::None;
        *phUrl = hUrl;
        return kOk;
    }
    const int result = WaitForStep(dwStart, dwLimitMs);
    if (result != kOk)
        return result;
    m_step = Step::None;
    *phUrl = reinterpret_cast<HINTERNET>(m_dwResult);
    return kOk;
}

int CStreamWait::Read(HINTERNET hUrl, BYTE* pOut, DWORD cb, DWORD dwStart, DWORD dwLimitMs, DWORD* pcbRead) {
    *pcbRead = 0;
    if (m_cbLeft == 0) {
        if (m_step == Step::Open)
            return kFailed;
        const int started = m_step == Step::None ? StartRead(hUrl, cb) : kPending;
        if (started == kFailed)
            return kFailed;
        if (started == kPending) {
            // The read just started, or one whose earlier wait ended before
            // it completed.
            const int waited = WaitForStep(dwStart, dwLimitMs);
            if (waited != kOk)
                return waited;
            m_step = Step::None;
            if (!m_dwResult)
                return kFailed;
            m_cbLeft = m_cbRead;
            m_dwLeftAt = 0;
        }
        if (m_cbLeft == 0)
            return kOk;  // the end of the body
    }
    const DWORD count = std::min(cb, m_cbLeft);
    std::memcpy(pOut, m_pBuffer.get() + m_dwLeftAt, count);
    m_dwLeftAt += count;
    m_cbLeft -= count;
    *pcbRead = count;
    return kOk;
}

// kPending when the service will complete the read later; otherwise the
// read is over: kOk with the bytes in m_cbLeft (0 at the end), or kFailed.
int CStreamWait::StartRead(HINTERNET hUrl, DWORD cb) {
    Begin(Step::Read);
    m_cbRead = 0;
    m_dwLeftAt = 0;
    if (InternetReadFile(hUrl, m_pBuffer.get(), std::min(cb, kReadBufferSize), &m_cbRead)) {
        m_step = Step::None;
        m_cbLeft = m_cbRead;
        return kOk;
    }
    if (GetLastError() == ERROR_IO_PENDING)
        return kPending;
    m_step = Step::None;
    return kFailed;
}

void CStreamWait::Forget() {
    m_step = Step::None;
    m_bDone.store(false);
    m_cbLeft = 0;
    m_dwLeftAt = 0;
    m_cbRead = 0;
}
