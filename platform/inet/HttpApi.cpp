// Entry points for HTTP requests: opening, headers, sending, URL requests
// and header queries.
#include <cstring>

#include "UrlParts.h"
#include "internal.h"
#include "winerror.h"

using namespace orvi::inet;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD AddHeaderBlock(InetRequest& request, std::u16string_view block, DWORD modifiers) {
    for (const std::string& line : SplitHeaderLines(ToNarrow(block))) {
        if (DWORD error = request.requestHeaders.AddRequestLine(line, modifiers))
            return error;
    }
    return 0;
}

// Copies the session's settings into the request's settings at send time.
void PrepareSettings(InetRequest& request) {
    request.settings.agent = request.session->agent;
    request.settings.proxy = request.session->proxy;
    request.settings.timeouts = request.timeouts;
}

std::string JoinAcceptTypes(LPCWSTR* types) {
    std::string joined;
    for (; types && *types; ++types)
        joined += (joined.empty() ? "" : ", ") + ToNarrow(*types);
    return joined;
}

BOOL WriteQueryResult(const QueryResult& result, bool wide, LPVOID buffer, LPDWORD length) {
    const void* data;
    DWORD size;
    DWORD terminator = 0;
    std::u16string wideText;
    switch (result.type) {
    case QueryResult::Type::Number: data = &result.number; size = sizeof(DWORD); break;
    case QueryResult::Type::Time: data = &result.time; size = sizeof(SYSTEMTIME); break;
    default:
        if (wide) {
            wideText = HeaderToWide(result.text);
            data = wideText.c_str();
            size = static_cast<DWORD>(wideText.size() * sizeof(WCHAR));
            terminator = sizeof(WCHAR);
        } else {
            data = result.text.c_str();
            size = static_cast<DWORD>(result.text.size());
            terminator = 1;
        }
    }
    if (!buffer || *length < size + terminator) {
        *length = size + terminator;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, data, size + terminator);
    *length = size;
    return TRUE;
}

BOOL QueryInfoCommon(HINTERNET hRequest, DWORD level, LPVOID buffer, LPDWORD length, LPDWORD index,
                     bool wide) {
    if (!length)
        return Fail(ERROR_INVALID_PARAMETER);
    InetGuard guard(InetLock());
    auto request = FindHandleAs<InetRequest>(hRequest, InetKind::Request);
    if (!request)
        return FALSE;
    std::string custom;
    if ((level & HTTP_QUERY_HEADER_MASK) == HTTP_QUERY_CUSTOM) {
        if (!buffer)
            return Fail(ERROR_INVALID_PARAMETER);
        custom = wide ? ToNarrow(static_cast<LPCWSTR>(buffer)) : std::string(static_cast<const char*>(buffer));
    }
    QueryResult result;
    if (DWORD error = QueryInfo(*request, level, custom, index ? *index : 0, result))
        return Fail(error);
    if (!WriteQueryResult(result, wide, buffer, length))
        return FALSE;
    if (index)
        ++*index;
    return TRUE;
}

std::shared_ptr<InetRequest> MakeUrlRequest(const UrlParts& parts, DWORD flags, DWORD_PTR context) {
    auto request = std::make_shared<InetRequest>();
    bool secure = parts.Scheme() == INTERNET_SCHEME_HTTPS;
    std::u16string_view target = parts.Text(parts.path);
    std::u16string withQuery(target);
    std::u16string_view extra = parts.Text(parts.extra);
    withQuery += extra.substr(0, extra.find(u'#'));  // a fragment is never sent
    request->urlHandle = true;
    request->context = context;
    request->settings.flags = flags | (secure ? INTERNET_FLAG_SECURE : 0);
    request->settings.user = ToNarrow(parts.Text(parts.user));
    request->settings.password = ToNarrow(parts.Text(parts.password));
    request->settings.url = BuildRequestUrl(secure, ToNarrow(parts.Text(parts.host)), parts.Port(), {}, {},
                                        EncodeRequestTarget(withQuery));
    request->requestHeaders.SetStatusLine("GET " + EncodeRequestTarget(withQuery) + " HTTP/1.1");
    return request;
}

}  // namespace

HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                           LPCWSTR lpszVersion, LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext) {
    InetGuard guard(InetLock());
    auto connect = FindHandleAs<InetConnect>(hConnect, InetKind::Connect);
    if (!connect)
        return nullptr;
    auto request = std::make_shared<InetRequest>();
    request->session = connect->session;
    request->context = dwContext;
    request->settings.verb = lpszVerb && *lpszVerb ? ToNarrow(lpszVerb) : "GET";
    request->settings.flags = dwFlags;
    bool secure = dwFlags & INTERNET_FLAG_SECURE;
    std::string target = EncodeRequestTarget(lpszObjectName ? lpszObjectName : u"/");
    request->settings.url = BuildRequestUrl(secure, connect->host, connect->port, {}, {}, target);
    request->settings.user = connect->user;
    request->settings.password = connect->password;
    std::string version = lpszVersion && *lpszVersion ? ToNarrow(lpszVersion) : "HTTP/1.1";
    request->requestHeaders.SetStatusLine(request->settings.verb + " " + target + " " + version);
    if (lpszReferrer && *lpszReferrer)
        request->requestHeaders.AddRequestLine("Referer: " + ToNarrow(lpszReferrer), 0);
    std::string accept = JoinAcceptTypes(lplpszAcceptTypes);
    if (!accept.empty())
        request->requestHeaders.AddRequestLine("Accept: " + accept, 0);
    AdoptChild(*connect, request);
    HINTERNET handle = InsertHandle(request);
    QueueAsyncResult(request, INTERNET_STATUS_HANDLE_CREATED, reinterpret_cast<DWORD_PTR>(handle), 0);
    return handle;
}

BOOL HttpAddRequestHeadersW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                            DWORD dwModifiers) {
    InetGuard guard(InetLock());
    auto request = FindHandleAs<InetRequest>(hRequest, InetKind::Request);
    if (!request)
        return FALSE;
    std::u16string_view block = HeaderBlock(lpszHeaders, dwHeadersLength);
    if (SplitHeaderLines(ToNarrow(block)).empty())
        return Fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = AddHeaderBlock(*request, block, dwModifiers))
        return Fail(error);
    return TRUE;
}

BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                      LPVOID lpOptional, DWORD dwOptionalLength) {
    InetGuard guard(InetLock());
    auto request = FindHandleAs<InetRequest>(hRequest, InetKind::Request);
    if (!request)
        return FALSE;
    if (request->urlHandle || request->state == RequestState::Sending || request->pendingRead.active)
        return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    if (DWORD error = AddHeaderBlock(*request, HeaderBlock(lpszHeaders, dwHeadersLength),
                                     HTTP_ADDREQ_FLAG_ADD))
        return Fail(error);
    request->settings.body.assign(static_cast<const char*>(lpOptional), lpOptional ? dwOptionalLength : 0);
    PrepareSettings(*request);
    StartRequest(request);
    if (request->async)
        return Fail(ERROR_IO_PENDING);
    return WaitForResponse(guard, *request);
}

HINTERNET InternetOpenUrlW(HINTERNET hInternet, LPCWSTR lpszUrl, LPCWSTR lpszHeaders,
                           DWORD dwHeadersLength, DWORD dwFlags, DWORD_PTR dwContext) {
    InetGuard guard(InetLock());
    auto session = FindHandleAs<InetSession>(hInternet, InetKind::Session);
    if (!session)
        return nullptr;
    UrlParts parts;
    DWORD error = lpszUrl ? parts.Parse(lpszUrl) : DWORD(ERROR_INVALID_PARAMETER);
    if (!error && parts.Scheme() != INTERNET_SCHEME_HTTP && parts.Scheme() != INTERNET_SCHEME_HTTPS)
        error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    if (error) {
        SetLastError(error);
        return nullptr;
    }
    auto request = MakeUrlRequest(parts, dwFlags, dwContext);
    if (DWORD headerError = AddHeaderBlock(*request, HeaderBlock(lpszHeaders, dwHeadersLength),
                                           HTTP_ADDREQ_FLAG_ADD)) {
        SetLastError(headerError);
        return nullptr;
    }
    request->session = session;
    AdoptChild(*session, request);
    InsertHandle(request);
    PrepareSettings(*request);
    StartRequest(request);
    if (request->async) {
        // The handle arrives with HANDLE_CREATED and REQUEST_COMPLETE.
        SetLastError(ERROR_IO_PENDING);
        return nullptr;
    }
    return WaitForResponse(guard, *request) ? request->handle : nullptr;
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                    LPDWORD lpdwIndex) {
    return QueryInfoCommon(hRequest, dwInfoLevel, lpBuffer, lpdwBufferLength, lpdwIndex, true);
}

BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer, LPDWORD lpdwBufferLength,
                    LPDWORD lpdwIndex) {
    return QueryInfoCommon(hRequest, dwInfoLevel, lpBuffer, lpdwBufferLength, lpdwIndex, false);
}
