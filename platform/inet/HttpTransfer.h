// One curl transfer of a request. Created, driven and destroyed on the
// network thread only; it feeds the response head and body into its
// InetRequest under InetLock.
//
// Flow control: the body is buffered in the request up to kBufferLimit
// bytes; beyond that the transfer pauses until the reader has taken half of
// it, so a long download streams instead of filling memory.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <curl/curl.h>

#include "HeaderList.h"
#include "InetObjects.h"

namespace orvi::inet {

constexpr size_t kBufferLimit = 256 * 1024;

class HttpTransfer {
public:
    HttpTransfer(const std::shared_ptr<InetRequest>& request, unsigned generation);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // Sets the transfer up from the settings and adds it to the network thread's
    // multi handle; returns 0 or the last-error code of a settings curl refuses.
    DWORD Start(const RequestSettings& settings);
    // Takes the transfer off the multi handle; no callback follows.
    void Stop();
    // Continues a transfer paused by flow control.
    void Resume();

    CURL* Easy() const { return m_easy; }
    void OnDone(CURLcode result);
    void CheckReceiveTimeout(std::chrono::steady_clock::time_point now);

private:
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
    static size_t BodyCallback(char* data, size_t size, size_t count, void* self);
    size_t OnHeaderLine(const char* data, size_t size);
    size_t OnBody(const char* data, size_t size);
    void OnHeadComplete();
    bool IsRedirect(long code) const;
    void SetProxy(const RequestSettings& settings);
    void SetHeaders(const RequestSettings& settings);
    void SetMethod(const RequestSettings& settings);

    std::weak_ptr<InetRequest> m_owner;
    InetRequest* m_request;
    unsigned m_generation;
    CURL* m_easy;
    curl_slist* m_headers = nullptr;
    curl_slist* m_aliases = nullptr;
    bool m_active = false;  // on the multi handle
    bool m_followRedirects = true;
    bool m_expectStatus = true;  // the next header line starts a response head
    bool m_headDone = false;     // the final response head was handed over
    HeaderList m_head;           // the head being received
    DWORD m_receiveMs = 0;
    std::chrono::steady_clock::time_point m_lastActivity;
};

// The device's last-error code for a failed transfer.
DWORD ErrorFromCurl(CURLcode code);

}  // namespace orvi::inet
