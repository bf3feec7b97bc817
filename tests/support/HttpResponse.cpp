// HttpResponse helpers and the free functions of TestHttpServer.h.
#include "TestHttpServer.h"

#include <cstdio>
#include <stdexcept>

namespace orvi::test {

HttpResponse& HttpResponse::Header(std::string name, std::string value)
{
    headers.push_back({std::move(name), std::move(value)});
    return *this;
}

HttpResponse& HttpResponse::LastModified(std::time_t when)
{
    return Header("Last-Modified", HttpDate(when));
}

HttpResponse HttpResponse::Text(std::string body, std::string contentType)
{
    HttpResponse response;
    response.body = std::move(body);
    response.Header("Content-Type", std::move(contentType));
    return response;
}

HttpResponse HttpResponse::Status(int code, std::string reason, std::string body)
{
    HttpResponse response;
    response.statusLine = "HTTP/1.1 " + std::to_string(code) + " " + reason;
    response.body = std::move(body);
    return response;
}

HttpResponse HttpResponse::NotFound()
{
    return Status(404, "Not Found", "not found");
}

HttpResponse HttpResponse::Redirect(int code, std::string location)
{
    const char* reason = code == 301 ? "Moved Permanently"
                         : code == 303 ? "See Other"
                         : code == 307 ? "Temporary Redirect"
                                       : "Found";
    return Status(code, reason).Header("Location", std::move(location));
}

HttpResponse HttpResponse::Unauthorized(std::string challenge)
{
    return Status(401, "Unauthorized", "unauthorized")
        .Header("WWW-Authenticate", std::move(challenge));
}

HttpResponse HttpResponse::Pattern(std::uint64_t size, std::string contentType)
{
    HttpResponse response;
    response.generatedSize = size;
    response.generator = [](std::uint64_t offset, char* out, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = PatternByte(offset + i);
    };
    response.Header("Content-Type", std::move(contentType));
    return response;
}

HttpResponse HttpResponse::Raw(std::string bytes)
{
    HttpResponse response;
    response.raw = std::move(bytes);
    return response;
}

char PatternByte(std::uint64_t offset)
{
    std::uint64_t x = (offset + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<char>(x >> 24);
}

std::string PatternBytes(std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = PatternByte(offset + i);
    return bytes;
}

std::string HttpDate(std::time_t when)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

std::string IcyTitle(const std::string& title)
{
    return "StreamTitle='" + title + "';";
}

std::string MmsChunkHead(char type, std::uint16_t length, unsigned char mark)
{
    return {static_cast<char>(mark), type, static_cast<char>(length & 0xFF), static_cast<char>(length >> 8)};
}

std::string MmsChunk(char type, const std::string& payload, std::uint32_t sequence, unsigned char mark)
{
    const bool prefixed = type == 'D' || type == 'M' || type == 'H';
    const std::size_t length = payload.size() + (prefixed ? 8 : 0);
    if (length > 0xFFFF)
        throw std::length_error("MmsChunk: a chunk holds at most 65535 bytes");
    const auto length16 = static_cast<std::uint16_t>(length);
    std::string chunk = MmsChunkHead(type, length16, mark);
    if (prefixed) {
        for (int shift = 0; shift < 32; shift += 8)
            chunk += static_cast<char>((sequence >> shift) & 0xFF);
        chunk += std::string(2, '\0');
        chunk += static_cast<char>(length16 & 0xFF);
        chunk += static_cast<char>(length16 >> 8);
    }
    return chunk + payload;
}

}  // namespace orvi::test
