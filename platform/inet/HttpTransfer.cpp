#include "HttpTransfer.h"

#include <cstring>

#include "NetworkThread.h"
#include "ProxyRules.h"
#include "internal.h"
#include "winerror.h"

namespace orvi::inet {

DWORD ErrorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OK: return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR: return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_SEND_ERROR: return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR: return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PEER_FAILED_VERIFICATION: return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default: return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

HttpTransfer::HttpTransfer(const std::shared_ptr<InetRequest>& request, unsigned generation)
    : m_owner(request), m_request(request.get()), m_generation(generation), m_easy(curl_easy_init()) {}

HttpTransfer::~HttpTransfer() {
    Stop();
    curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_headers);
    curl_slist_free_all(m_aliases);
}

DWORD HttpTransfer::Start(const RequestSettings& settings) {
    if (!m_easy)
        return ERROR_NOT_ENOUGH_MEMORY;
    curl_easy_setopt(m_easy, CURLOPT_URL, settings.url.c_str());
    curl_easy_setopt(m_easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &HttpTransfer::HeaderCallback);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &HttpTransfer::BodyCallback);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, 64L * 1024);
    // Stream servers answer "ICY 200 OK"; it stands for an HTTP/1.0 200.
    m_aliases = curl_slist_append(nullptr, "ICY 200");
    curl_easy_setopt(m_easy, CURLOPT_HTTP200ALIASES, m_aliases);
    m_followRedirects = !(settings.flags & INTERNET_FLAG_NO_AUTO_REDIRECT);
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, m_followRedirects ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!settings.agent.empty())
        curl_easy_setopt(m_easy, CURLOPT_USERAGENT, settings.agent.c_str());
    if (!settings.user.empty()) {
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, settings.password.c_str());
        curl_easy_setopt(m_easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    if (settings.timeouts.connectMs)
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.timeouts.connectMs));
    if (settings.flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID)
        curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
    if (settings.flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID)
        curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 0L);
    SetProxy(settings);
    SetHeaders(settings);
    SetMethod(settings);
    m_receiveMs = settings.timeouts.receiveMs;
    m_lastActivity = std::chrono::steady_clock::now();
    NetworkThread::Instance().AddTransfer(this);
    m_active = true;
    return 0;
}

void HttpTransfer::SetProxy(const RequestSettings& settings) {
    CURLU* url = curl_url();
    char* host = nullptr;
    if (curl_url_set(url, CURLUPART_URL, settings.url.c_str(), 0) == CURLUE_OK)
        curl_url_get(url, CURLUPART_HOST, &host, 0);
    bool secure = settings.url.rfind("https:", 0) == 0;
    std::optional<std::string> proxy = ProxyForHost(settings.proxy, host ? host : "", secure);
    curl_free(host);
    curl_url_cleanup(url);
    if (proxy)
        curl_easy_setopt(m_easy, CURLOPT_PROXY, proxy->c_str());
}

void HttpTransfer::SetHeaders(const RequestSettings& settings) {
    bool accept = false;
    for (const auto& field : settings.headers) {
        accept = accept || EqualsNoCase(field.name, "Accept");
        // curl drops "Name:" (it means "remove"); "Name;" sends it empty.
        std::string line = field.value.empty() ? field.name + ";" : field.name + ": " + field.value;
        m_headers = curl_slist_append(m_headers, line.c_str());
    }
    // The device sends no Accept header unless the caller names types, and
    // never waits for "100 Continue".
    if (!accept)
        m_headers = curl_slist_append(m_headers, "Accept:");
    m_headers = curl_slist_append(m_headers, "Expect:");
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
}

void HttpTransfer::SetMethod(const RequestSettings& settings) {
    if (settings.verb == "GET" && settings.body.empty()) {
        curl_easy_setopt(m_easy, CURLOPT_HTTPGET, 1L);
        return;
    }
    if (settings.verb == "HEAD") {
        curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
        return;
    }
    if (!settings.body.empty() || settings.verb == "POST") {
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(settings.body.size()));
        curl_easy_setopt(m_easy, CURLOPT_COPYPOSTFIELDS, settings.body.c_str());
    }
    if (settings.verb != "POST")
        curl_easy_setopt(m_easy, CURLOPT_CUSTOMREQUEST, settings.verb.c_str());
}

void HttpTransfer::Stop() {
    if (!m_active)
        return;
    m_active = false;
    NetworkThread::Instance().RemoveTransfer(this);
}

void HttpTransfer::Resume() {
    {
        InetGuard guard(InetLock());
        m_request->resumePosted = false;
        if (!m_request->paused || !m_active)
            return;
        m_request->paused = false;
    }
    m_lastActivity = std::chrono::steady_clock::now();
    curl_easy_pause(m_easy, CURLPAUSE_CONT);
}

size_t HttpTransfer::HeaderCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<HttpTransfer*>(self)->OnHeaderLine(data, size * count);
}

size_t HttpTransfer::BodyCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<HttpTransfer*>(self)->OnBody(data, size * count);
}

size_t HttpTransfer::OnHeaderLine(const char* data, size_t size) {
    m_lastActivity = std::chrono::steady_clock::now();
    std::string_view line(data, size);
    if (m_headDone || size == 0)
        return size;  // trailers of a chunked body
    if (m_expectStatus) {
        m_head.Clear();
        m_head.SetStatusLine(std::string(line));
        m_expectStatus = false;
    } else if (line == "\r\n" || line == "\n") {
        m_expectStatus = true;
        OnHeadComplete();
    } else {
        m_head.AddReceivedLine(line);
    }
    return size;
}

bool HttpTransfer::IsRedirect(long code) const {
    // curl follows every 3xx answer that names a Location.
    return m_followRedirects && code >= 300 && code < 400 && m_head.Has("Location");
}

void HttpTransfer::OnHeadComplete() {
    long code = 0;
    curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &code);
    if (code < 200 || IsRedirect(code))
        return;  // an interim response, or one curl follows
    char* url = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &url);
    auto request = m_owner.lock();
    InetGuard guard(InetLock());
    m_headDone = true;
    if (request->generation != m_generation)
        return;
    request->response = m_head;
    request->statusCode = code;
    if (url)
        request->finalUrl = url;
    CompleteSend(request, 0);
}

size_t HttpTransfer::OnBody(const char* data, size_t size) {
    m_lastActivity = std::chrono::steady_clock::now();
    if (!m_headDone)
        return size;  // body of a response that is not handed to the caller
    auto request = m_owner.lock();
    InetGuard guard(InetLock());
    if (request->closing || request->generation != m_generation)
        return size;
    if (request->Buffered() >= kBufferLimit) {
        request->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (request->bodyOffset > 0 && request->bodyOffset * 2 >= request->body.size()) {
        request->body.erase(0, request->bodyOffset);
        request->bodyOffset = 0;
    }
    request->body.append(data, size);
    if (request->pendingRead.active)
        FillPendingRead(request);
    request->changed.notify_all();
    return size;
}

void HttpTransfer::OnDone(CURLcode result) {
    Stop();
    auto request = m_owner.lock();
    InetGuard guard(InetLock());
    if (request->generation != m_generation)
        return;
    if (!m_headDone) {
        DWORD error = result == CURLE_OK ? DWORD(ERROR_HTTP_INVALID_SERVER_RESPONSE)
                                         : ErrorFromCurl(result);
        CompleteSend(request, error);
        return;
    }
    request->state = RequestState::Done;
    request->error = ErrorFromCurl(result);
    if (request->pendingRead.active)
        FillPendingRead(request);
    request->changed.notify_all();
}

void HttpTransfer::CheckReceiveTimeout(std::chrono::steady_clock::time_point now) {
    if (!m_active || m_receiveMs == 0 || now - m_lastActivity < std::chrono::milliseconds(m_receiveMs))
        return;
    {
        InetGuard guard(InetLock());
        if (m_request->paused)
            return;
    }
    OnDone(CURLE_OPERATION_TIMEDOUT);
}

}  // namespace orvi::inet
