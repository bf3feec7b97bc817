#include "CHttpStream.h"

#include <algorithm>
#include <utility>

#include "CPlayer.h"
#include "CStreamRing.h"
#include "CStreamWait.h"

namespace {

constexpr DWORD kReloadFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION;
// A range request made by Seek has a limit too: without one, a server that
// accepts and never answers would hold the consumer for good.
constexpr DWORD kSeekLimitMs = 30000;
constexpr WCHAR kStreamHeaders[] =
    u"Icy-MetaData: 1\nPragma: no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,"
    u"request-context=1,max-duration=2147492981,xPlayStrm=1\n";

// The number at or after the first digit of p; *pEnd points behind it.
DWORD ParseNumber(LPCWSTR p, LPCWSTR* pEnd) {
    while (*p && !iswdigit(*p))
        ++p;
    DWORD value = 0;
    for (; iswdigit(*p); ++p)
        value = value * 10 + static_cast<DWORD>(*p - u'0');
    *pEnd = p;
    return value;
}

}  // namespace

CHttpStream::CHttpStream() : m_pWait(new CStreamWait(this)) {
    wsprintfW(m_szUserAgent, u"NSPlayer/10.0.0.3802/1.0(WinCE; %dx%d)", GetSystemMetrics(SM_CXSCREEN),
              GetSystemMetrics(SM_CYSCREEN));
}

CHttpStream::~CHttpStream() {
    CloseHandles();
    delete m_pRing;
    delete m_pWait;
}

void CHttpStream::Destroy(CHttpStream* pStream) {
    if (!pStream)
        return;
    pStream->Shutdown();
    pStream->Release();
}

void CHttpStream::Release() {
    if (m_nRefs.fetch_sub(1) == 1)
        delete this;
}

void CHttpStream::SetEngine(IStreamEngine* pEngine) { m_pEngine.store(pEngine); }

void CHttpStream::Close() {
    const DWORD waiting = m_pWait->WaitingThread();
    if (waiting && waiting != GetCurrentThreadId())
        PostThreadMessageW(waiting, UM_STREAM_CANCEL, 0, 0);
    CloseHandles();
    m_szContentType[0] = 0;
    m_dwContentLength = 0;
    m_dwPosition = 0;
    m_dwRangeEnd = 0;
    m_bRangesSupported = FALSE;
    m_dwReceived.store(0);
    m_dwOrigin = 0;
    // The next connection's bytes must not follow this one's in the ring.
    if (m_pRing)
        m_pRing->Reset();
}

void CHttpStream::CloseUrl() {
    if (HINTERNET hUrl = std::exchange(m_hUrl, nullptr))
        InternetCloseHandle(hUrl);
    m_pWait->Forget();
}

// Closing the internet handle also ends an open that is still outstanding;
// once it returns, the service calls back no more, so the wait context may
// forget its step.
void CHttpStream::CloseHandles() {
    if (HINTERNET hUrl = std::exchange(m_hUrl, nullptr))
        InternetCloseHandle(hUrl);
    if (HINTERNET hInternet = std::exchange(m_hInternet, nullptr))
        InternetCloseHandle(hInternet);
    m_pWait->Forget();
}

int CHttpStream::Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    if (cbBuffer <= 0)
        return cbBuffer == 0 ? 0 : -1;
    int got = m_pRing ? m_pRing->Read(pBuffer, cbBuffer) : 0;
    if (got < cbBuffer) {
        const int fromNetwork = ReadNetwork(pBuffer + got, cbBuffer - got, dwTimeoutMs);
        if (fromNetwork > 0) {
            if (m_pRing)
                m_pRing->Keep(pBuffer + got, fromNetwork);
            got += fromNetwork;
            PostFill();
        } else if (fromNetwork < 0 && got == 0) {
            return -1;
        }
    }
    m_dwPosition += static_cast<DWORD>(got);
    return got;
}

LONGLONG CHttpStream::Seek(DWORD dwPosition, DWORD dwEnd) {
    const DWORD received = m_dwReceived.load();
    if (dwEnd == 0 && m_pRing && dwPosition >= m_dwOrigin && dwPosition - m_dwOrigin <= received &&
        received <= m_pRing->Capacity() && m_pRing->Rewind(dwPosition - m_dwOrigin) >= 0) {
        m_dwPosition = dwPosition;
        return dwPosition;
    }
    // While the reader runs it owns the URL handle: no request from here.
    if (!m_bRangesSupported || ConnectionBusy())
        return -1;
    m_dwPosition = dwPosition;
    m_dwRangeEnd = dwEnd;
    if (m_pRing)
        m_pRing->Reset();
    if (Reconnect(kSeekLimitMs) != 0)
        return -1;
    // A server that ignored the range would deliver the wrong bytes.
    ReadContentRange();
    if (dwPosition != 0 && (m_dwLastStatus != 206 || m_dwPosition != dwPosition)) {
        CloseUrl();
        m_dwPosition = dwPosition;
        return -1;
    }
    return dwPosition;
}

BOOL CHttpStream::TakeOver(CHttpStream* pOther) {
    if (!pOther || pOther == this || m_hInternet || m_hUrl || pOther->ConnectionBusy())
        return FALSE;
    SwapConnection(*pOther);
    return TRUE;
}

void CHttpStream::SwapConnection(CHttpStream& other) {
    std::swap(m_pWait, other.m_pWait);
    m_pWait->SetOwner(this);
    other.m_pWait->SetOwner(&other);
    HWND hWnd = m_hWndNotify.exchange(other.m_hWndNotify.load());
    other.m_hWndNotify.store(hWnd);
    IStreamEngine* pEngine = m_pEngine.exchange(other.m_pEngine.load());
    other.m_pEngine.store(pEngine);
    std::swap(m_hInternet, other.m_hInternet);
    std::swap(m_hUrl, other.m_hUrl);
    std::swap(m_dwFlags, other.m_dwFlags);
    std::swap(m_szUrl, other.m_szUrl);
    std::swap(m_szContentType, other.m_szContentType);
    std::swap(m_dwContentLength, other.m_dwContentLength);
    std::swap(m_dwPosition, other.m_dwPosition);
    std::swap(m_dwRangeEnd, other.m_dwRangeEnd);
    DWORD received = m_dwReceived.exchange(other.m_dwReceived.load());
    other.m_dwReceived.store(received);
    std::swap(m_szHeaders, other.m_szHeaders);
    std::swap(m_bRangesSupported, other.m_bRangesSupported);
    std::swap(m_pRing, other.m_pRing);
    std::swap(m_dwOrigin, other.m_dwOrigin);
    std::swap(m_dwLastStatus, other.m_dwLastStatus);
    std::swap(m_dwOwedCancel, other.m_dwOwedCancel);
}

int CHttpStream::OpenInternet(LPCWSTR pszAgent, LPCWSTR pszProxy, LPCWSTR pszBypass) {
    if (m_hInternet && (!pszAgent || wcscmp(pszAgent, m_szUserAgent) == 0))
        return 0;
    if (pszAgent && pszAgent != m_szUserAgent)
        StringCchCopyW(m_szUserAgent, kUrlChars, pszAgent);
    CloseHandles();
    const bool direct = !pszProxy || !*pszProxy;
    m_hInternet = InternetOpenW(m_szUserAgent, direct ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
                                direct ? nullptr : pszProxy, direct ? nullptr : pszBypass, INTERNET_FLAG_ASYNC);
    if (!m_hInternet)
        return -1;
    if (direct) {
        INTERNET_PROXY_INFO info{INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr};
        InternetSetOptionW(m_hInternet, INTERNET_OPTION_PROXY, &info, sizeof(info));
    }
    if (InternetSetStatusCallbackW(m_hInternet, CStreamWait::StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
        CloseHandles();
        return -2;
    }
    return 0;
}

int CHttpStream::Connect(LPCWSTR pszUrl, DWORD dwTimeoutMs) {
    Close();
    if (!pszUrl || !*pszUrl || ConnectionBusy())
        return -2;
    m_dwPosition = 0;
    m_dwFlags = 0;
    m_dwReceived.store(0);
    m_dwOrigin = 0;
    // An address that does not fit is refused rather than cut: a cut one
    // would be a request for another resource.
    const bool mms = _wcsnicmp(pszUrl, u"mms://", 6) == 0;
    const HRESULT copied = mms ? StringCchPrintfW(m_szUrl, kUrlChars, u"http://%s", pszUrl + 6)
                               : StringCchCopyW(m_szUrl, kUrlChars, pszUrl);
    if (copied != S_OK) {
        m_szUrl[0] = 0;
        return -2;
    }
    if (_wcsnicmp(m_szUrl, u"https://", 8) == 0)
        m_dwFlags |= kSecureFlags;
    const int opened = OpenInternet(m_szUserAgent, nullptr, nullptr);
    if (opened != 0)
        return opened;
    m_dwFlags |= kReloadFlags;
    const int result = Reconnect(dwTimeoutMs);
    if (result == 0)
        OnConnected();
    return result;
}

int CHttpStream::Reconnect(DWORD dwTimeoutMs) {
    if (!m_szUrl[0])
        return -2;
    const DWORD start = GetTickCount();
    CloseUrl();
    if (!m_hInternet) {
        const int opened = OpenInternet(nullptr, nullptr, nullptr);
        if (opened != 0)
            return opened;
    }
    m_dwReceived.store(0);
    m_dwOrigin = m_dwPosition;
    m_dwLastStatus = 0;
    BuildHeaders();
    HINTERNET hUrl = nullptr;
    const int waited = m_pWait->OpenUrl(m_hInternet, m_szUrl, m_szHeaders, m_dwFlags, start, dwTimeoutMs, &hUrl);
    if (waited != CStreamWait::kOk) {
        // The open may still complete; only closing the internet handle
        // makes sure it never lands in a context that has moved on.
        if (m_pWait->OpenOutstanding())
            CloseHandles();
        return waited;
    }
    if (!hUrl)
        return 2;
    m_hUrl = hUrl;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(m_hUrl, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        (status >= 400 && status <= 499)) {
        CloseUrl();
        return -2;
    }
    m_dwLastStatus = status;
    return 0;
}

int CHttpStream::ReadNetwork(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    return ReadFromNetwork(pBuffer, cbBuffer, dwTimeoutMs, true);
}

int CHttpStream::ReadFromNetwork(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs, bool bWhole) {
    m_nLastNetResult = CStreamWait::kOk;
    // A cancel that ended an earlier read of this thread after some bytes
    // had come, which that read delivered, is owed to this call. One owed
    // to another thread was meant for a wait that is over.
    const DWORD self = GetCurrentThreadId();
    if (const DWORD owed = std::exchange(m_dwOwedCancel, 0); owed == self) {
        m_nLastNetResult = CStreamWait::kCancelled;
        return -1;
    }
    if (cbBuffer <= 0)
        return cbBuffer == 0 ? 0 : -1;
    const DWORD start = GetTickCount();
    int total = 0;
    while (total < cbBuffer) {
        const DWORD cbAsk = std::min(static_cast<DWORD>(cbBuffer - total), kNetworkReadSize);
        DWORD got = 0;
        const int result = m_pWait->Read(m_hUrl, pBuffer + total, cbAsk, start, dwTimeoutMs, &got);
        if (result != CStreamWait::kOk) {
            m_nLastNetResult = result;
            if (result == CStreamWait::kCancelled) {
                m_lCancelSender = m_pWait->CancelSender();
                if (total > 0)
                    m_dwOwedCancel = self;
            }
            return total > 0 ? total : -1;
        }
        if (got == 0)
            break;
        OnData(pBuffer + total, static_cast<int>(got), NetworkPosition());
        m_dwReceived.fetch_add(got);
        total += static_cast<int>(got);
        if (!bWhole)
            break;
    }
    return total;
}

void CHttpStream::BuildHeaders() {
    StringCchCopyW(m_szHeaders, kHeaderChars, kStreamHeaders);
    if (m_dwPosition == 0)
        return;
    WCHAR szRange[64];
    wsprintfW(szRange, u"Range: bytes=%lu-", m_dwPosition);
    StringCchCatW(m_szHeaders, kHeaderChars, szRange);
    if (m_dwRangeEnd != 0) {
        wsprintfW(szRange, u"%lu", m_dwRangeEnd);
        StringCchCatW(m_szHeaders, kHeaderChars, szRange);
    }
    StringCchCatW(m_szHeaders, kHeaderChars, u"\n");
}

void CHttpStream::OnConnected() {
    WCHAR szText[kUrlChars];
    DWORD cb = sizeof(szText);
    if (InternetQueryOptionW(m_hUrl, INTERNET_OPTION_URL, szText, &cb))
        StringCchCopyW(m_szUrl, kUrlChars, szText);
    cb = sizeof(szText);
    m_szContentType[0] = 0;
    if (HttpQueryInfoW(m_hUrl, HTTP_QUERY_CONTENT_TYPE, szText, &cb, nullptr)) {
        StringCchCopyW(m_szContentType, kUrlChars, szText);
        _wcslwr(m_szContentType);
    }
    if (m_dwContentLength == 0) {
        DWORD length = 0;
        cb = sizeof(length);
        if (HttpQueryInfoW(m_hUrl, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &cb, nullptr))
            m_dwContentLength = length;
    }
    cb = sizeof(szText);
    if (HttpQueryInfoW(m_hUrl, HTTP_QUERY_ACCEPT_RANGES, szText, &cb, nullptr) && wcsstr(szText, u"bytes"))
        m_bRangesSupported = TRUE;
    ReadContentRange();
    OnConnectedHook();
}

// "bytes first-last/total": the position becomes first and the range end
// last; the connection's first byte is then the one at first.
void CHttpStream::ReadContentRange() {
    WCHAR szRange[128];
    DWORD cb = sizeof(szRange);
    if (!HttpQueryInfoW(m_hUrl, HTTP_QUERY_CONTENT_RANGE, szRange, &cb, nullptr))
        return;
    LPCWSTR p = wcsstr(szRange, u"bytes");
    if (!p)
        return;
    m_dwPosition = ParseNumber(p + 5, &p);
    m_dwRangeEnd = *p ? ParseNumber(p + 1, &p) : 0;
    m_dwOrigin = m_dwPosition;
}

void CHttpStream::OnConnectedHook() {}

void CHttpStream::OnData(const BYTE*, int, DWORD) {}

void CHttpStream::PostFill() {
    const HWND hWnd = m_hWndNotify.load();
    if (!hWnd || !m_pRing || m_pRing->Capacity() == 0)
        return;
    const ULONGLONG percent = static_cast<ULONGLONG>(m_pRing->Filled()) * 100 / m_pRing->Capacity();
    PostMessageW(hWnd, UM_DECODER_BUFFERING, static_cast<WPARAM>(percent), 0);
}
