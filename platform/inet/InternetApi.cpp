// Entry points for sessions, connections, callbacks, options and closing.
#include <cstring>

#include "NetworkThread.h"
#include "internal.h"
#include "winerror.h"

using namespace orvi::inet;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool ValidAccessType(DWORD type) {
    return type == INTERNET_OPEN_TYPE_PRECONFIG || type == INTERNET_OPEN_TYPE_DIRECT ||
           type == INTERNET_OPEN_TYPE_PROXY;
}

// Copies a wide string result; sizes in bytes, the terminator counted only
// in the size needed.
BOOL CopyWideOption(const std::u16string& text, LPVOID buffer, LPDWORD length) {
    DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
    if (!buffer || *length < needed) {
        *length = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), needed);
    *length = needed - sizeof(WCHAR);
    return TRUE;
}

BOOL CopyDwordOption(DWORD value, LPVOID buffer, LPDWORD length) {
    if (!buffer || *length < sizeof(DWORD)) {
        *length = sizeof(DWORD);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &value, sizeof value);
    *length = sizeof(DWORD);
    return TRUE;
}

BOOL QueryProxy(const InetSession& session, LPVOID buffer, LPDWORD length) {
    std::u16string proxy = orvi::kernel::Utf8ToUtf16(session.proxy.proxy);
    std::u16string bypass = orvi::kernel::Utf8ToUtf16(session.proxy.bypass);
    DWORD needed = static_cast<DWORD>(sizeof(INTERNET_PROXY_INFO) +
                                      (proxy.size() + bypass.size() + 2) * sizeof(WCHAR));
    if (!buffer || *length < needed) {
        *length = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    auto* info = static_cast<INTERNET_PROXY_INFO*>(buffer);
    auto* text = reinterpret_cast<WCHAR*>(info + 1);
    std::memcpy(text, proxy.c_str(), (proxy.size() + 1) * sizeof(WCHAR));
    std::memcpy(text + proxy.size() + 1, bypass.c_str(), (bypass.size() + 1) * sizeof(WCHAR));
    *info = {session.proxy.accessType, text, text + proxy.size() + 1};
    *length = needed;
    return TRUE;
}

DWORD HandleType(const InetObject& object) {
    switch (object.kind) {
    case InetKind::Session: return INTERNET_HANDLE_TYPE_INTERNET;
    case InetKind::Connect: return INTERNET_HANDLE_TYPE_CONNECT_HTTP;
    default: return INTERNET_HANDLE_TYPE_HTTP_REQUEST;
    }
}

BOOL SetProxyOption(InetObject& object, LPVOID buffer, DWORD length) {
    if (object.kind != InetKind::Session)
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!buffer || length < sizeof(INTERNET_PROXY_INFO))
        return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    auto* info = static_cast<const INTERNET_PROXY_INFO*>(buffer);
    if (!ValidAccessType(info->dwAccessType) ||
        (info->dwAccessType == INTERNET_OPEN_TYPE_PROXY && (!info->lpszProxy || !*info->lpszProxy)))
        return Fail(ERROR_INVALID_PARAMETER);
    auto& session = static_cast<InetSession&>(object);
    session.proxy = {info->dwAccessType, ToNarrow(info->lpszProxy), ToNarrow(info->lpszProxyBypass)};
    return TRUE;
}

}  // namespace

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy,
                        LPCWSTR lpszProxyBypass, DWORD dwFlags) {
    if (!ValidAccessType(dwAccessType) ||
        (dwAccessType == INTERNET_OPEN_TYPE_PROXY && (!lpszProxy || !*lpszProxy))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto session = std::make_shared<InetSession>();
    session->agent = ToNarrow(lpszAgent);
    session->async = (dwFlags & INTERNET_FLAG_ASYNC) != 0;
    session->proxy.accessType = dwAccessType;
    if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
        session->proxy.proxy = ToNarrow(lpszProxy);
        session->proxy.bypass = ToNarrow(lpszProxyBypass);
    }
    NetworkThread::Instance().RetainSession();
    InetGuard guard(InetLock());
    return InsertHandle(session);
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET hInternet,
                                                    INTERNET_STATUS_CALLBACK lpfnInternetCallback) {
    InetGuard guard(InetLock());
    auto object = FindHandle(hInternet);
    if (!object)
        return INTERNET_INVALID_STATUS_CALLBACK;
    INTERNET_STATUS_CALLBACK previous = object->callback;
    object->callback = lpfnInternetCallback;
    return previous;
}

HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService,
                           DWORD /*dwFlags*/, DWORD_PTR dwContext) {
    InetGuard guard(InetLock());
    auto session = FindHandleAs<InetSession>(hInternet, InetKind::Session);
    if (!session)
        return nullptr;
    if (!lpszServerName || !*lpszServerName || dwService != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto connect = std::make_shared<InetConnect>();
    connect->host = ToNarrow(lpszServerName);
    connect->port = nServerPort;
    connect->user = ToNarrow(lpszUserName);
    connect->password = ToNarrow(lpszPassword);
    connect->context = dwContext;
    connect->session = session;
    AdoptChild(*session, connect);
    HINTERNET handle = InsertHandle(connect);
    // Reported even though the handle is returned at once: callers wait for it.
    QueueAsyncResult(connect, INTERNET_STATUS_HANDLE_CREATED, reinterpret_cast<DWORD_PTR>(handle), 0);
    return handle;
}

BOOL InternetCloseHandle(HINTERNET hInternet) { return CloseHandleTree(hInternet); }

BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
    InetGuard guard(InetLock());
    auto object = FindHandle(hInternet);
    if (!object)
        return FALSE;
    switch (dwOption) {
    case INTERNET_OPTION_PROXY: return SetProxyOption(*object, lpBuffer, dwBufferLength);
    case INTERNET_OPTION_CONNECT_TIMEOUT:
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: {
        if (!lpBuffer || dwBufferLength < sizeof(DWORD))
            return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
        DWORD value;
        std::memcpy(&value, lpBuffer, sizeof value);
        if (dwOption == INTERNET_OPTION_CONNECT_TIMEOUT)
            object->timeouts.connectMs = value;
        else if (dwOption == INTERNET_OPTION_RECEIVE_TIMEOUT || dwOption == INTERNET_OPTION_DATA_RECEIVE_TIMEOUT)
            object->timeouts.receiveMs = value;
        // Sends are a single small request head: nothing to limit.
        return TRUE;
    }
    default: return Fail(ERROR_INTERNET_INVALID_OPTION);
    }
}

BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                          LPDWORD lpdwBufferLength) {
    if (!lpdwBufferLength)
        return Fail(ERROR_INVALID_PARAMETER);
    InetGuard guard(InetLock());
    auto object = FindHandle(hInternet);
    if (!object)
        return FALSE;
    switch (dwOption) {
    case INTERNET_OPTION_URL: {
        if (object->kind != InetKind::Request)
            return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        auto& request = static_cast<InetRequest&>(*object);
        const std::string& url = request.finalUrl.empty() ? request.settings.url : request.finalUrl;
        return CopyWideOption(orvi::kernel::Utf8ToUtf16(url), lpBuffer, lpdwBufferLength);
    }
    case INTERNET_OPTION_PROXY:
        if (object->kind != InetKind::Session)
            return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return QueryProxy(static_cast<InetSession&>(*object), lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        return CopyDwordOption(object->timeouts.connectMs, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
        return CopyDwordOption(object->timeouts.receiveMs, lpBuffer, lpdwBufferLength);
    case INTERNET_OPTION_HANDLE_TYPE:
        return CopyDwordOption(HandleType(*object), lpBuffer, lpdwBufferLength);
    default: return Fail(ERROR_INTERNET_INVALID_OPTION);
    }
}
