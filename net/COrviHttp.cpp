#include "COrviHttp.h"
#include "OrviHttpOperation.h"

#include <utility>

#include "CHttpHeap.h"
#include "DeviceInfo.h"

namespace {

constexpr DWORD kStepLimitMs = 20000;
constexpr DWORD kCancelLimitMs = 3000;
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
constexpr DWORD kHostChars = 260;
constexpr DWORD kPathChars = 260;

// Loopback and link-local servers answer without an external address, so
// the device's lack of one must not stop requests to them.
bool IsLocalHost(LPCWSTR host) {
    return _wcsicmp(host, u"localhost") == 0 || wcsncmp(host, u"127.", 4) == 0 ||
           wcsncmp(host, u"169.254.", 8) == 0 || wcscmp(host, u"[::1]") == 0 || wcscmp(host, u"::1") == 0;
}

}  // namespace

struct COrviHttp::UrlParts {
    WCHAR host[kHostChars] = {};
    WCHAR path[kPathChars] = {};
    INTERNET_PORT port = 0;
    bool secure = false;
};

COrviHttp::COrviHttp() {
    wsprintfW(m_szUserAgent, u"NSPlayer/10.0.0.3802(Calvaro; %s; %dx%d)", g_deviceInfo.OemInfo(),
              GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

COrviHttp::~COrviHttp() { Close(); }

void COrviHttp::SetDeviceId(LPCWSTR id) { StringCchCopyW(m_szDeviceId, 64, id ? id : u""); }

void COrviHttp::OnStatusCallback(DWORD, LPVOID, DWORD) {}

void CALLBACK COrviHttp::StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength) {
    auto* http = reinterpret_cast<COrviHttp*>(context);
    if (!http)
        return;  // the internet handle itself carries no client
    auto post = [http](WPARAM event) {
        if (DWORD thread = http->m_dwRequestThread.load())
            PostThreadMessageW(thread, UM_HTTP_EVENT, event, reinterpret_cast<LPARAM>(http));
    };
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    switch (status) {
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        if (info && infoLength >= sizeof(DWORD) && *static_cast<const DWORD*>(info) == 0)
            Sleep(1000);
        break;
    case INTERNET_STATUS_HANDLE_CREATED:
        if (result)
            http->m_hCreated.store(reinterpret_cast<HINTERNET>(result->dwResult));
        post(100);
        break;
    case INTERNET_STATUS_HANDLE_CLOSING: post(70); break;
    case INTERNET_STATUS_REQUEST_COMPLETE:
        http->m_dwAsyncError.store(result && !result->dwResult ? (result->dwError ? result->dwError : 1) : 0);
        post(100);
        break;
    default: break;
    }
    http->OnStatusCallback(status, info, infoLength);
}

int COrviHttp::SendGet(LPCWSTR url) {
    COrviHttpOperation operation(*this);
    COrviHttpAuth* matched = nullptr;
    int status = SendGetOnce(url, &matched);
    COrviHttpAuth* record = status == 401 && !matched && m_hRequest ? m_auths.Match(url) : nullptr;
    if (record) {
        WCHAR challenge[256] = {};  // only the scheme's first letters matter
        DWORD size = sizeof(challenge);
        HttpQueryInfoW(m_hRequest, HTTP_QUERY_WWW_AUTHENTICATE, challenge, &size, nullptr);
        record->type = _wcsnicmp(challenge, u"basic", 5) == 0 ? COrviHttpAuth::Basic : COrviHttpAuth::Other;
        status = SendGetOnce(url, &matched);
    }
    m_nLastStatus = status;
    return status;
}

int COrviHttp::SendGetOnce(LPCWSTR url, COrviHttpAuth** matched) {
    UrlParts parts;
    int result = CheckUrl(url, &parts);
    if (result != kOk)
        return result;
    if (CloseRequest() == kCancelled)
        return kCancelled;
    if ((result = OpenInternet(m_szProxy[0] ? m_szProxy : nullptr)) != kOk)
        return result;
    if ((result = OpenRequest(parts)) != kOk)
        return result;
    *matched = m_auths.Match(url);
    if ((result = AddRequestHeaders(*matched)) != kOk)
        return result;
    return SendAndQueryStatus();
}

int COrviHttp::CheckUrl(LPCWSTR url, UrlParts* parts) {
    if (!url || (_wcsnicmp(url, u"http://", 7) != 0 && _wcsnicmp(url, u"https://", 8) != 0))
        return kBadUrl;
    if (wcslen(url) >= kUrlChars)
        return kBadUrl;
    StringCchCopyW(m_szUrl, kUrlChars, url);
    URL_COMPONENTSW components{};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = parts->host;
    components.dwHostNameLength = kHostChars;
    components.lpszUrlPath = parts->path;
    components.dwUrlPathLength = kPathChars;
    if (!InternetCrackUrlW(url, 0, 0, &components) || !parts->host[0])
        return kBadUrl;
    if (!parts->path[0])
        StringCchCopyW(parts->path, kPathChars, u"/");
    parts->port = components.nPort;
    parts->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    if (!IsLocalHost(parts->host) && !g_deviceInfo.HasNetworkAddress(FALSE))
        return kNoAddress;
    return kOk;
}

int COrviHttp::OpenInternet(LPCWSTR proxy) {
    if (m_hInternet)
        return kOk;
    m_hInternet = InternetOpenW(m_szUserAgent, proxy ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_PRECONFIG,
                                proxy, nullptr, INTERNET_FLAG_ASYNC);
    if (!m_hInternet)
        return kNetworkFailure;
    InternetSetStatusCallbackW(m_hInternet, StatusCallback);
    return kOk;
}

// The service reports HANDLE_CREATED for every handle it makes, also for one
// it returns at once, so each open waits for that event.
int COrviHttp::OpenRequest(const UrlParts& parts) {
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    DropStaleEvents();
    m_hCreated.store(nullptr);
    HINTERNET handle = InternetConnectW(m_hInternet, parts.host, parts.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, context);
    const bool pending = handle || GetLastError() == ERROR_IO_PENDING;
    int result = pending ? WaitForStep(kStepLimitMs) : kNetworkFailure;
    m_hConnect = TakeCreatedHandle(handle);
    if (!m_hConnect || result == kCancelled)
        return result == kOk ? kNetworkFailure : result;

    DropStaleEvents();
    m_hCreated.store(nullptr);
    const DWORD flags = kRequestFlags | (parts.secure ? INTERNET_FLAG_SECURE : 0);
    handle = HttpOpenRequestW(m_hConnect, u"GET", parts.path, u"HTTP/1.1", nullptr, nullptr, flags, context);
    result = handle || GetLastError() == ERROR_IO_PENDING ? WaitForStep(kStepLimitMs) : kNetworkFailure;
    m_hRequest = TakeCreatedHandle(handle);
    if (!m_hRequest || result == kCancelled)
        return result == kOk ? kNetworkFailure : result;
    return kOk;
}

HINTERNET COrviHttp::TakeCreatedHandle(HINTERNET returned) {
    HINTERNET created = m_hCreated.exchange(nullptr);
    return returned ? returned : created;
}

int COrviHttp::AddRequestHeaders(COrviHttpAuth* auth) {
    std::u16string line = u"DIROVUR-DEVICEID:";
    if (auth) {
        if (auth->type != COrviHttpAuth::Basic || auth->headerLine.empty()) {
            CloseHandleField(&m_hRequest);
            return kNoAuthorization;
        }
        HttpAddRequestHeadersW(m_hRequest, auth->headerLine.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD);
        line += auth->userName + u"-";
    }
    line += m_szDeviceId;
    HttpAddRequestHeadersW(m_hRequest, line.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD);
    return kOk;
}

int COrviHttp::SendAndQueryStatus() {
    DropStaleEvents();
    if (!HttpSendRequestW(m_hRequest, nullptr, 0, nullptr, 0) && GetLastError() == ERROR_IO_PENDING) {
        const int result = WaitForStep(kStepLimitMs);
        if (result != kOk) {
            CloseHandleField(&m_hRequest);
            return result;
        }
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(m_hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        CloseHandleField(&m_hRequest);
        status = 0;
    }
    return status ? static_cast<int>(status) : kNetworkFailure;
}

// Pumps the thread's queue until the step completes. Events of other
// clients and messages meant for windows are not this wait's business.
int COrviHttp::WaitForStep(DWORD limitMs, WaitKind kind) {
    if (m_dwRequestThread.load() != GetCurrentThreadId())
        return kWrongThread;
    SystemIdleTimerReset();
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (limitMs != INFINITE && elapsed >= limitMs)
            return kTimeout;
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            int result;
            if (HandleWaitMessage(msg, kind, &result))
                return result;
            continue;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, limitMs == INFINITE ? INFINITE : limitMs - elapsed,
                                  QS_ALLINPUT);
    }
}

bool COrviHttp::HandleWaitMessage(const MSG& msg, WaitKind kind, int* result) {
    const bool mine = !msg.hwnd && msg.lParam == reinterpret_cast<LPARAM>(this);
    if (msg.message == UM_HTTP_EVENT && mine) {
        const bool ack = msg.wParam == static_cast<WPARAM>(-1);
        if (kind == WaitKind::Acknowledgement ? !ack : ack || (msg.wParam != 100 && msg.wParam != 70))
            return false;
        *result = msg.wParam == 70 ? kNetworkFailure : kOk;
        return true;
    }
    if (msg.message == UM_HTTP_EVENT && !msg.hwnd)
        return false;  // another client's late event
    if (msg.message == UM_HTTP_CANCEL && !msg.hwnd) {
        OnCancel(static_cast<DWORD>(msg.lParam));
        *result = kCancelled;
        return true;
    }
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // the program's own loop must still end
        *result = kCancelled;
        return true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return false;
}

void COrviHttp::OnCancel(DWORD ackThread) {
    if (m_hWndOwner)
        PostMessageW(m_hWndOwner, UM_HTTP_EVENT, 0, reinterpret_cast<LPARAM>(this));
    m_dwAckThread = ackThread;
}

// Events of handles closed earlier in this operation, or of a step that
// timed out, must not complete the next step. Other clients' events go back
// into the queue.
void COrviHttp::DropStaleEvents() {
    MSG kept[16];
    int count = 0;
    MSG msg;
    while (count < 16 && PeekMessageW(&msg, nullptr, UM_HTTP_EVENT, UM_HTTP_EVENT, PM_REMOVE)) {
        if (msg.hwnd || msg.lParam != reinterpret_cast<LPARAM>(this))
            kept[count++] = msg;
    }
    for (int i = 0; i < count; ++i) {
        if (kept[i].hwnd)
            PostMessageW(kept[i].hwnd, kept[i].message, kept[i].wParam, kept[i].lParam);
        else
            PostThreadMessageW(GetCurrentThreadId(), kept[i].message, kept[i].wParam, kept[i].lParam);
    }
}

void COrviHttp::CloseHandleField(HINTERNET* handle) {
    if (HINTERNET open = std::exchange(*handle, nullptr))
        InternetCloseHandle(open);
}

int COrviHttp::CancelOtherThread(DWORD otherThread) {
    DWORD self = GetCurrentThreadId();
    m_dwRequestThread.store(self);
    int result = kOk;  // a thread that is gone cannot be using the client
    if (PostThreadMessageW(otherThread, UM_HTTP_CANCEL, 0, static_cast<LPARAM>(self)))
        result = WaitForStep(kCancelLimitMs, WaitKind::Acknowledgement);
    m_dwRequestThread.compare_exchange_strong(self, 0);
    return result;
}

int COrviHttp::CloseRequest() {
    const DWORD running = m_dwRequestThread.load();
    if (running && running != GetCurrentThreadId() && CancelOtherThread(running) != kOk)
        return kCancelled;
    CloseHandleField(&m_hRequest);
    CloseHandleField(&m_hConnect);
    FreeBodyAndText();
    m_szContentType[0] = 0;
    m_szCharset[0] = 0;
    m_nLastStatus = kIdle;
    return kOk;
}

void COrviHttp::FreeBodyAndText() {
    const BYTE* text = reinterpret_cast<const BYTE*>(m_pText);
    const bool textInBody = m_pBody && text >= m_pBody && text <= m_pBody + m_nBodyOffset + m_nBodyLength;
    if (!textInBody)
        CHttpHeap::Free(m_pText);
    CHttpHeap::Free(m_pBody);
    m_pText = nullptr;
    m_nTextLength = 0;
    m_pBody = nullptr;
    m_nBodyOffset = 0;
    m_nBodyLength = 0;
}

int COrviHttp::Close() {
    const int result = CloseRequest();
    if (result != kOk)
        return result;
    CloseHandleField(&m_hInternet);
    m_szProxy[0] = 0;
    ReleaseConnection(1);
    CHttpHeap::Free(m_pCopyBuffer);
    m_pCopyBuffer = nullptr;
    m_dwCopyBufferSize = 0;
    return kOk;
}
