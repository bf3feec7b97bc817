#include "InetTestSupport.h"

namespace orvi::test {

void CALLBACK StatusRecorder::Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                       DWORD length) {
    auto* self = reinterpret_cast<StatusRecorder*>(context);
    if (!self)
        return;  // the session handle itself carries no context
    StatusEvent event{handle, status, 0, 0};
    if (length == sizeof(INTERNET_ASYNC_RESULT) &&
        (status == INTERNET_STATUS_REQUEST_COMPLETE || status == INTERNET_STATUS_HANDLE_CREATED)) {
        auto* result = static_cast<INTERNET_ASYNC_RESULT*>(info);
        event.result = result->dwResult;
        event.error = result->dwError;
    } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED && length == sizeof(DWORD)) {
        event.result = *static_cast<DWORD*>(info);
    }
    std::lock_guard guard(self->m_lock);
    self->m_events.push_back(event);
    self->m_changed.notify_all();
}

bool StatusRecorder::Next(DWORD status, HINTERNET handle, StatusEvent* event) {
    std::unique_lock guard(m_lock);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        for (size_t i = m_taken; i < m_events.size(); ++i) {
            if (m_events[i].status == status && (!handle || m_events[i].handle == handle)) {
                m_taken = i + 1;
                if (event)
                    *event = m_events[i];
                return true;
            }
        }
        if (m_changed.wait_until(guard, deadline) == std::cv_status::timeout)
            return false;
    }
}

std::vector<StatusEvent> StatusRecorder::Events() {
    std::lock_guard guard(m_lock);
    return m_events;
}

AsyncSession::AsyncSession(DWORD accessType, LPCWSTR proxy) {
    m_session = InternetOpenW(u"InetTests/1.0", accessType, proxy, nullptr, INTERNET_FLAG_ASYNC);
    if (m_session)
        InternetSetStatusCallbackW(m_session, &StatusRecorder::Callback);
}

AsyncSession::~AsyncSession() {
    if (m_session)
        InternetCloseHandle(m_session);
}

HINTERNET AsyncSession::Get(std::uint16_t port, LPCWSTR path, LPCWSTR headers) {
    HINTERNET connect = InternetConnectW(m_session, u"127.0.0.1", port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, m_recorder.Context());
    HINTERNET request = connect ? HttpOpenRequestW(connect, u"GET", path, u"HTTP/1.1", nullptr,
                                                   nullptr, 0x84400000u, m_recorder.Context())
                                : nullptr;
    if (!request)
        return nullptr;
    if (headers && !HttpAddRequestHeadersW(request, headers, DWORD(-1), HTTP_ADDREQ_FLAG_ADD))
        return nullptr;
    if (!HttpSendRequestW(request, nullptr, 0, nullptr, 0) && GetLastError() != ERROR_IO_PENDING)
        return nullptr;
    StatusEvent done;
    if (!m_recorder.Next(INTERNET_STATUS_REQUEST_COMPLETE, request, &done) || !done.result)
        return nullptr;
    return request;
}

HINTERNET AsyncSession::OpenUrl(const std::string& url, StatusEvent* completion) {
    std::u16string wide = Wide(url);
    HINTERNET handle = InternetOpenUrlW(m_session, wide.c_str(), nullptr, 0, 0x84000000u, m_recorder.Context());
    if (handle || GetLastError() != ERROR_IO_PENDING)
        return handle;
    StatusEvent done{};
    if (!m_recorder.Next(INTERNET_STATUS_REQUEST_COMPLETE, nullptr, &done))
        return nullptr;
    if (completion)
        *completion = done;
    return reinterpret_cast<HINTERNET>(done.result);
}

bool AsyncSession::ReadAll(HINTERNET request, std::string& body, DWORD* error) {
    char chunk[8192];
    for (;;) {
        INTERNET_BUFFERSA buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.lpvBuffer = chunk;
        buffers.dwBufferLength = sizeof chunk;
        if (!InternetReadFileExA(request, &buffers, IRF_ASYNC, m_recorder.Context())) {
            if (GetLastError() != ERROR_IO_PENDING) {
                if (error)
                    *error = GetLastError();
                return false;
            }
            StatusEvent done{nullptr, 0, 0, ERROR_TIMEOUT};
            if (!m_recorder.Next(INTERNET_STATUS_REQUEST_COMPLETE, request, &done) || !done.result) {
                if (error)
                    *error = done.error;
                return false;
            }
        }
        if (buffers.dwBufferLength == 0)
            return true;
        body.append(chunk, buffers.dwBufferLength);
    }
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace orvi::test
