// A scriptable HTTP/1.x server on 127.0.0.1 for the test suites.
//
// A test registers a response (or a handler that builds one) per path, points
// the code under test at Url(path) and afterwards checks what the server saw.
// Responses can misbehave on purpose: no length, chunked framing, an "ICY 200
// OK" status line, delays, stalls, early cuts, slow pacing, in-band ICY
// metadata, byte ranges, or an exact byte string sent as is.
//
// Connections: one thread per accepted connection; every connection serves
// exactly one request and is then closed by the server (no keep-alive; the
// server adds "Connection: close" unless the response names a Connection
// header itself).
//
// Threading: every member function may be called from any thread while the
// server runs. Handlers run on connection threads, possibly several at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvi::test {

struct HttpHeader {
    std::string name;
    std::string value;
};

// One request as received. Header names and values are kept as sent (values
// without surrounding blanks); the body is read by Content-Length only
// ("Expect: 100-continue" is answered with an interim 100 response).
struct HttpRequest {
    std::string method;
    std::string target;   // request target exactly as on the request line
    std::string version;  // "HTTP/1.1"
    std::vector<HttpHeader> headers;
    std::string body;

    std::string Path() const;   // target up to '?', or the whole target
    std::string Query() const;  // text after '?', empty without one
    // First header of that name (case-insensitive); empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

// Fills `count` bytes of a generated body starting at body offset `offset`.
// Called on a connection thread, sequentially, in small pieces.
using BodyGenerator = std::function<void(std::uint64_t offset, char* out, std::size_t count)>;

enum class Framing {
    ContentLength,   // "Content-Length" is added unless the headers carry one
    CloseDelimited,  // no length: the end of the body is the end of the connection
    Chunked,         // "Transfer-Encoding: chunked", chunks of `chunkSize`
};

// In-band ICY metadata: after every `interval` body bytes the server inserts
// one metadata block (a length byte counting 16-byte units, then the text
// padded with zero bytes). blocks[i] is the text of the i-th block; an empty
// text, and every block after the list runs out, is a length-0 block. It is
// applied only when the request carried "Icy-MetaData: 1" or `force` is set;
// then "icy-metaint: <interval>" is added unless the headers carry one or
// `announce` is false.
struct IcyMetadata {
    std::size_t interval = 0;  // 0 = no metadata
    std::vector<std::string> blocks;
    bool force = false;
    // false: no "icy-metaint" header is added (a server that names the
    // interval inside the data instead, see HttpResponse::bodyPrefix).
    bool announce = true;
};

// What the server sends for one request. Counts of "body bytes" (stall, cut,
// burst) are bytes of the body as sent after ICY metadata was inserted and
// before chunk framing.
struct HttpResponse {
    std::string statusLine = "HTTP/1.1 200 OK";  // any line, e.g. "ICY 200 OK"
    std::vector<HttpHeader> headers;              // sent in order, as given
    std::string body;
    // When set, the body is `generatedSize` bytes produced by the generator
    // and `body` is ignored, so large bodies need not be held in memory.
    BodyGenerator generator;
    std::uint64_t generatedSize = 0;

    Framing framing = Framing::ContentLength;
    std::size_t chunkSize = 4096;

    std::chrono::milliseconds delayBeforeStatus{0};
    std::chrono::milliseconds delayBeforeBody{0};
    // After this many body bytes the server sends nothing more but keeps the
    // connection open until the client leaves or the server stops.
    std::optional<std::uint64_t> stallAfter;
    // After this many body bytes the server closes the connection, so the
    // client sees fewer bytes than announced (or an unfinished chunk).
    std::optional<std::uint64_t> cutAfter;
    // Pacing: after the first `burstBytes` body bytes, at most
    // `bytesPerSecond` (0 = as fast as the socket takes them).
    std::uint64_t bytesPerSecond = 0;
    std::uint64_t burstBytes = 0;

    // Byte ranges: with this set, "Accept-Ranges: bytes" is added and a
    // request with a satisfiable "Range: bytes=a-b" / "a-" / "-n" gets
    // "206 Partial Content" with "Content-Range: bytes a-b/total" and that
    // part of the body; an unsatisfiable one gets 416 with
    // "Content-Range: bytes */total". Only for a 200 response.
    bool acceptRanges = false;

    IcyMetadata icy;

    // Bytes sent at the start of the body, before it and before ICY metadata
    // counting begins (the first metadata block follows `interval` bytes
    // after the prefix), e.g. an "ICY 200 OK" head inside the data. They
    // count as body bytes for the length, stall, cut and pacing, and lead a
    // partial (206) body too.
    std::string bodyPrefix;

    // When set, exactly these bytes are the whole response (status line and
    // headers included); every other field except delayBeforeStatus, stall,
    // cut and pacing (which then count from the first byte) is ignored.
    std::optional<std::string> raw;

    // Fluent helpers.
    HttpResponse& Header(std::string name, std::string value);
    HttpResponse& LastModified(std::time_t when);  // adds "Last-Modified"

    // Common responses.
    static HttpResponse Text(std::string body, std::string contentType = "text/plain");
    static HttpResponse Status(int code, std::string reason, std::string body = {});
    static HttpResponse NotFound();
    static HttpResponse Redirect(int code, std::string location);  // 301, 302, 303, 307
    // 401 with "WWW-Authenticate: <challenge>", e.g. "Basic realm=\"x\"".
    static HttpResponse Unauthorized(std::string challenge);
    // `size` bytes of PatternByte(offset), generated on the fly.
    static HttpResponse Pattern(std::uint64_t size, std::string contentType = "application/octet-stream");
    static HttpResponse Raw(std::string bytes);
};

// The byte at `offset` of a Pattern body: not periodic over short spans, so a
// lost, doubled or reordered block shows up in a comparison.
char PatternByte(std::uint64_t offset);
std::string PatternBytes(std::uint64_t offset, std::size_t count);

// "Sun, 06 Nov 1994 08:49:37 GMT" for a UTC time.
std::string HttpDate(std::time_t when);
// Text of an ICY metadata block that sets the stream title.
std::string IcyTitle(const std::string& title);  // "StreamTitle='<title>';"

// Windows-Media-over-HTTP framing. A chunk is a mark ('$' or 0xA4), a type
// letter and a 16-bit little-endian length, then that many bytes. For the
// types 'D', 'M' and 'H' they are an 8-byte prefix (the 32-bit
// little-endian `sequence`, two zero bytes, the length again) and then the
// payload; other types carry the payload alone.
std::string MmsChunk(char type, const std::string& payload, std::uint32_t sequence = 0,
                     unsigned char mark = '$');
// The 4 head bytes alone, with any length, for framing that is broken on
// purpose.
std::string MmsChunkHead(char type, std::uint16_t length, unsigned char mark = '$');

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

class TestHttpServer {
public:
    TestHttpServer();
    ~TestHttpServer();  // Stop()
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    // Binds 127.0.0.1 on an ephemeral port and starts accepting; false when
    // the socket could not be set up. A server is started at most once.
    bool Start();
    // Closes the listener and every connection, including stalled and
    // delayed ones, and joins all threads. Returns promptly; idempotent.
    void Stop();

    std::uint16_t Port() const;
    // "http://127.0.0.1:<port>" + path (a '/' is put in front when missing).
    std::string Url(const std::string& path) const;

    // Routes match the request path without its query, exactly; a later
    // Route for the same path replaces the earlier one. Unknown paths get
    // NotFound(). A handler runs on the connection thread and must return
    // promptly: slow answers are scripted with the response's delays.
    void Route(const std::string& path, HttpResponse response);
    void Route(const std::string& path, HttpHandler handler);
    void RemoveRoute(const std::string& path);

    // Requests completely received so far (counted before the response).
    std::size_t RequestCount() const;
    std::size_t RequestCount(const std::string& path) const;  // by Path()
    std::vector<HttpRequest> Requests() const;
    // Waits until at least `count` requests arrived; false on time-out.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    // Connections accepted and not yet closed by either side.
    std::size_t OpenConnections() const;
    // Waits until no connection is open; false on time-out.
    bool WaitForNoConnections(std::chrono::milliseconds timeout) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace orvi::test
