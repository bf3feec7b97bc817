// Sends one scripted HttpResponse on a connected socket: framing, ranges, ICY
// metadata, delays, pacing, stalls and cuts. Internal to TestHttpServer.
#pragma once

#include "TestHttpServer.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvi::test {

bool EqualsNoCase(std::string_view a, std::string_view b);
const HttpHeader* FindHeader(const std::vector<HttpHeader>& headers, std::string_view name);

class HttpResponseWriter {
public:
    // `stopFd` becomes readable when the server stops; every wait of the
    // writer also watches it, so a stopping server is never held up.
    HttpResponseWriter(int socketFd, int stopFd, const HttpRequest& request,
                       const HttpResponse& response);

    // Returns when the response was sent, cut, stalled until the client left,
    // or abandoned because the client left or the server stopped.
    void Send();

private:
    class BodyStream;

    void SendRaw();
    void SendScripted();
    void ApplyRange(std::uint64_t sourceSize);
    std::string BuildHead(std::uint64_t wireLength) const;
    bool SendChunked(BodyStream& body, std::uint64_t wireLength);
    // Sends `count` body bytes; false when the connection must end (cut,
    // stall over, client gone, server stopping).
    bool SendBody(BodyStream& body, std::uint64_t count);
    bool Pace();
    void StallUntilClientLeaves();
    bool SendAll(const char* data, std::size_t size);
    bool SendAll(const std::string& text) { return SendAll(text.data(), text.size()); }
    // Waits for `delay` unless the server stops first; false when it stops.
    bool Sleep(std::chrono::steady_clock::duration delay);

    int m_fd;
    int m_stopFd;
    const HttpRequest& m_request;
    const HttpResponse& m_response;

    std::string m_statusLine;
    std::vector<HttpHeader> m_extraHeaders;
    std::uint64_t m_rangeStart = 0;
    std::uint64_t m_rangeLength = 0;
    bool m_icy = false;

    std::uint64_t m_sent = 0;  // body bytes sent so far
    std::chrono::steady_clock::time_point m_paceStart;
};

}  // namespace orvi::test
