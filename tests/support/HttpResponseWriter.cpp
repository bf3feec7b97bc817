#include "HttpResponseWriter.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace orvi::test {

namespace {

constexpr std::size_t kPieceSize = 16384;
constexpr std::size_t kMaxIcyUnits = 255;

std::string IcyBlock(const std::string& text)
{
    const std::size_t units = std::min(kMaxIcyUnits, (text.size() + 15) / 16);
    std::string block(1 + units * 16, '\0');
    block[0] = static_cast<char>(units);
    std::memcpy(block.data() + 1, text.data(), std::min(text.size(), units * 16));
    return block;
}

std::size_t IcyBlockSize(const std::string& text)
{
    return 1 + std::min(kMaxIcyUnits, (text.size() + 15) / 16) * 16;
}

int StatusCode(const std::string& statusLine)
{
    const auto space = statusLine.find(' ');
    if (space == std::string::npos)
        return 0;
    return std::atoi(statusLine.c_str() + space + 1);
}

bool ParseNumber(std::string_view text, std::uint64_t* value)
{
    if (text.empty() || text.size() > 19)
        return false;
    std::uint64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + static_cast<std::uint64_t>(c - '0');
    }
    *value = result;
    return true;
}

// Result of matching one "bytes=" range against a body of `size` bytes.
enum class RangeMatch { Ignore, Unsatisfiable, Satisfiable };

RangeMatch MatchRange(const std::string& header, std::uint64_t size, std::uint64_t* first,
                      std::uint64_t* last)
{
    constexpr std::string_view kUnit = "bytes=";
    if (header.compare(0, kUnit.size(), kUnit) != 0 || header.find(',') != std::string::npos)
        return RangeMatch::Ignore;
    const std::string_view bounds = std::string_view(header).substr(kUnit.size());
    const auto dash = bounds.find('-');
    if (dash == std::string_view::npos)
        return RangeMatch::Ignore;
    const std::string_view from = bounds.substr(0, dash);
    const std::string_view to = bounds.substr(dash + 1);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    if (from.empty()) {  // suffix: the last b bytes
        if (!ParseNumber(to, &b))
            return RangeMatch::Ignore;
        if (b == 0 || size == 0)
            return RangeMatch::Unsatisfiable;
        *first = size - std::min(b, size);
        *last = size - 1;
        return RangeMatch::Satisfiable;
    }
    if (!ParseNumber(from, &a) || (!to.empty() && (!ParseNumber(to, &b) || b < a)))
        return RangeMatch::Ignore;
    if (a >= size)
        return RangeMatch::Unsatisfiable;
    *first = a;
    *last = to.empty() ? size - 1 : std::min(b, size - 1);
    return RangeMatch::Satisfiable;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const HttpHeader* FindHeader(const std::vector<HttpHeader>& headers, std::string_view name)
{
    for (const auto& header : headers) {
        if (EqualsNoCase(header.name, name))
            return &header;
    }
    return nullptr;
}

// The body as it goes on the wire, read front to back: the prefix, then a
// slice of the text or generator, with ICY metadata blocks inserted after
// every `interval` bytes of that slice.
class HttpResponseWriter::BodyStream {
public:
    BodyStream(const std::string* text, const BodyGenerator* generator, std::uint64_t start,
               std::uint64_t length, const IcyMetadata* icy, std::string_view prefix = {})
        : m_text(text), m_generator(generator), m_start(start), m_length(length),
          m_icy(icy && icy->interval > 0 ? icy : nullptr), m_prefix(prefix)
    {
    }

    std::uint64_t WireLength() const
    {
        std::uint64_t total = m_prefix.size() + m_length;
        if (m_icy) {
            const std::uint64_t blocks = m_length / m_icy->interval;
            for (std::uint64_t i = 0; i < blocks; ++i)
                total += IcyBlockSize(BlockText(i));
        }
        return total;
    }

    void Read(char* out, std::size_t count)
    {
        while (count > 0) {
            const std::size_t n = ReadSome(out, count);
            out += n;
            count -= n;
        }
    }

private:
    std::size_t ReadSome(char* out, std::size_t count)
    {
        if (m_prefixPos < m_prefix.size()) {
            const std::size_t n = std::min(count, m_prefix.size() - m_prefixPos);
            std::memcpy(out, m_prefix.data() + m_prefixPos, n);
            m_prefixPos += n;
            return n;
        }
        if (m_pendingPos < m_pending.size()) {
            const std::size_t n = std::min(count, m_pending.size() - m_pendingPos);
            std::memcpy(out, m_pending.data() + m_pendingPos, n);
            m_pendingPos += n;
            return n;
        }
        if (m_icy && m_sinceBlock == m_icy->interval) {
            m_pending = IcyBlock(BlockText(m_blocksSent++));
            m_pendingPos = 0;
            m_sinceBlock = 0;
            return 0;
        }
        std::uint64_t n = std::min<std::uint64_t>(count, m_length - m_done);
        if (m_icy)
            n = std::min<std::uint64_t>(n, m_icy->interval - m_sinceBlock);
        const std::uint64_t offset = m_start + m_done;
        if (m_generator)
            (*m_generator)(offset, out, n);
        else
            std::memcpy(out, m_text->data() + offset, n);
        m_done += n;
        m_sinceBlock += n;
        return n;
    }

    std::string BlockText(std::uint64_t index) const
    {
        return index < m_icy->blocks.size() ? m_icy->blocks[index] : std::string();
    }

    const std::string* m_text;
    const BodyGenerator* m_generator;
    std::uint64_t m_start;
    std::uint64_t m_length;
    const IcyMetadata* m_icy;
    std::uint64_t m_done = 0;
    std::uint64_t m_sinceBlock = 0;
    std::uint64_t m_blocksSent = 0;
    std::string m_pending;
    std::size_t m_pendingPos = 0;
    std::string_view m_prefix;
    std::size_t m_prefixPos = 0;
};

HttpResponseWriter::HttpResponseWriter(int socketFd, int stopFd, const HttpRequest& request,
                                       const HttpResponse& response)
    : m_fd(socketFd), m_stopFd(stopFd), m_request(request), m_response(response)
{
}

void HttpResponseWriter::Send()
{
    if (!Sleep(m_response.delayBeforeStatus))
        return;
    if (m_response.raw)
        SendRaw();
    else
        SendScripted();
}

void HttpResponseWriter::SendRaw()
{
    const std::string& bytes = *m_response.raw;
    BodyStream stream(&bytes, nullptr, 0, bytes.size(), nullptr);
    SendBody(stream, bytes.size());
}

void HttpResponseWriter::SendScripted()
{
    const bool generated = static_cast<bool>(m_response.generator);
    const std::uint64_t sourceSize = generated ? m_response.generatedSize : m_response.body.size();
    m_statusLine = m_response.statusLine;
    m_rangeLength = sourceSize;
    ApplyRange(sourceSize);

    const std::string flag = m_request.Header("Icy-MetaData");
    m_icy = m_response.icy.interval > 0 && (m_response.icy.force || flag == "1");
    if (m_icy && m_response.icy.announce && !FindHeader(m_response.headers, "icy-metaint"))
        m_extraHeaders.push_back({"icy-metaint", std::to_string(m_response.icy.interval)});

    BodyStream stream(generated ? nullptr : &m_response.body,
                      generated ? &m_response.generator : nullptr, m_rangeStart, m_rangeLength,
                      m_icy ? &m_response.icy : nullptr, m_response.bodyPrefix);
    const std::uint64_t wireLength = stream.WireLength();
    if (!SendAll(BuildHead(wireLength)) || m_request.method == "HEAD")
        return;
    if (!Sleep(m_response.delayBeforeBody))
        return;
    if (m_response.framing == Framing::Chunked)
        SendChunked(stream, wireLength);
    else
        SendBody(stream, wireLength);
}

void HttpResponseWriter::ApplyRange(std::uint64_t sourceSize)
{
    if (!m_response.acceptRanges)
        return;
    if (!FindHeader(m_response.headers, "Accept-Ranges"))
        m_extraHeaders.push_back({"Accept-Ranges", "bytes"});
    const std::string range = m_request.Header("Range");
    if (range.empty() || StatusCode(m_statusLine) != 200)
        return;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    const std::string total = std::to_string(sourceSize);
    switch (MatchRange(range, sourceSize, &first, &last)) {
    case RangeMatch::Ignore:
        return;
    case RangeMatch::Unsatisfiable:
        m_statusLine = "HTTP/1.1 416 Range Not Satisfiable";
        m_extraHeaders.push_back({"Content-Range", "bytes */" + total});
        m_rangeLength = 0;
        return;
    case RangeMatch::Satisfiable:
        m_statusLine = "HTTP/1.1 206 Partial Content";
        m_extraHeaders.push_back({"Content-Range", "bytes " + std::to_string(first) + "-" +
                                                       std::to_string(last) + "/" + total});
        m_rangeStart = first;
        m_rangeLength = last - first + 1;
        return;
    }
}

std::string HttpResponseWriter::BuildHead(std::uint64_t wireLength) const
{
    std::string head = m_statusLine + "\r\n";
    std::vector<HttpHeader> headers = m_response.headers;
    headers.insert(headers.end(), m_extraHeaders.begin(), m_extraHeaders.end());
    if (m_response.framing == Framing::ContentLength && !FindHeader(headers, "Content-Length"))
        headers.push_back({"Content-Length", std::to_string(wireLength)});
    if (m_response.framing == Framing::Chunked && !FindHeader(headers, "Transfer-Encoding"))
        headers.push_back({"Transfer-Encoding", "chunked"});
    if (!FindHeader(headers, "Connection"))
        headers.push_back({"Connection", "close"});
    for (const auto& header : headers)
        head += header.name + ": " + header.value + "\r\n";
    return head + "\r\n";
}

bool HttpResponseWriter::SendChunked(BodyStream& body, std::uint64_t wireLength)
{
    const std::uint64_t chunkSize = m_response.chunkSize ? m_response.chunkSize : 4096;
    while (m_sent < wireLength) {
        const std::uint64_t n = std::min(chunkSize, wireLength - m_sent);
        char size[32];
        std::snprintf(size, sizeof size, "%llx\r\n", static_cast<unsigned long long>(n));
        if (!SendAll(size) || !SendBody(body, n) || !SendAll("\r\n"))
            return false;
    }
    if (!SendBody(body, 0))  // a stall or cut placed at the very end
        return false;
    return SendAll("0\r\n\r\n");
}

bool HttpResponseWriter::SendBody(BodyStream& body, std::uint64_t count)
{
    const auto& cut = m_response.cutAfter;
    const auto& stall = m_response.stallAfter;
    const std::uint64_t end = m_sent + count;
    char buffer[kPieceSize];
    for (;;) {
        if (cut && m_sent >= *cut)
            return false;
        if (stall && m_sent >= *stall) {
            StallUntilClientLeaves();
            return false;
        }
        if (m_sent == end)
            return true;
        std::uint64_t n = std::min<std::uint64_t>(end - m_sent, kPieceSize);
        if (cut)
            n = std::min(n, *cut - m_sent);
        if (stall)
            n = std::min(n, *stall - m_sent);
        if (m_response.bytesPerSecond > 0) {
            if (m_sent < m_response.burstBytes)
                n = std::min(n, m_response.burstBytes - m_sent);
            else if (!Pace())
                return false;
            else
                n = std::min<std::uint64_t>(n, std::max<std::uint64_t>(1, m_response.bytesPerSecond / 50));
        }
        body.Read(buffer, n);
        if (!SendAll(buffer, n))
            return false;
        m_sent += n;
    }
}

// Waits until the bytes sent after the burst fit the configured rate.
bool HttpResponseWriter::Pace()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_paceStart == decltype(m_paceStart)())  // first call: the burst just ended
        m_paceStart = now;
    const std::uint64_t paced = m_sent - m_response.burstBytes;
    const auto due = m_paceStart + std::chrono::microseconds(paced * 1000000 / m_response.bytesPerSecond);
    return due <= now || Sleep(due - now);
}

void HttpResponseWriter::StallUntilClientLeaves()
{
    char discard[4096];
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[1].revents)
            return;
        if (fds[0].revents) {
            const ssize_t n = recv(m_fd, discard, sizeof discard, 0);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return;
        }
    }
}

bool HttpResponseWriter::SendAll(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = send(m_fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool HttpResponseWriter::Sleep(std::chrono::steady_clock::duration delay)
{
    const auto deadline = std::chrono::steady_clock::now() + delay;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd = {m_stopFd, POLLIN, 0};
        const int ready = poll(&fd, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready > 0)
            return false;
        if (ready == 0 && left.count() <= 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

}  // namespace orvi::test
