#include "TestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <thread>

using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// A bare socket client, so the server is checked byte by byte.
class Client {
public:
    explicit Client(std::uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    }
    ~Client() { close(m_fd); }

    void Send(const std::string& text)
    {
        EXPECT_EQ(static_cast<ssize_t>(text.size()), send(m_fd, text.data(), text.size(), MSG_NOSIGNAL));
    }
    // Reads until `want` bytes arrived, the server closed, or `window` passed.
    std::string Read(std::chrono::milliseconds window, bool* closed, std::size_t want = SIZE_MAX)
    {
        std::string data;
        *closed = false;
        const auto deadline = std::chrono::steady_clock::now() + window;
        char buffer[65536];
        while (data.size() < want) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd = {m_fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0)
                break;
            const ssize_t n = recv(m_fd, buffer, std::min(sizeof buffer, want - data.size()), 0);
            if (n <= 0) {
                *closed = true;
                break;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
        return data;
    }
    // One receive of what arrives within 10 s.
    std::string ReadSome(bool* closed)
    {
        char buffer[65536];
        pollfd fd = {m_fd, POLLIN, 0};
        if (poll(&fd, 1, 10000) <= 0)
            return {};
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        *closed = n <= 0;
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // Reads until the head and at least `bodyBytes` of the body arrived.
    std::string ReadResponse(std::size_t bodyBytes, bool* closed)
    {
        std::string data;
        for (;;) {
            const auto headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos && data.size() - headEnd - 4 >= bodyBytes)
                return data;
            const std::string more = ReadSome(closed);
            if (more.empty())
                return data;
            data += more;
        }
    }
    std::string ReadToEnd()
    {
        bool closed = false;
        std::string data = Read(20s, &closed);
        EXPECT_TRUE(closed) << "server did not close the connection";
        return data;
    }

private:
    int m_fd;
};

std::string Fetch(const TestHttpServer& server, const std::string& target,
                  const std::string& headers = "")
{
    Client client(server.Port());
    client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
    return client.ReadToEnd();
}

std::string HeadOf(const std::string& response)
{
    return response.substr(0, response.find("\r\n\r\n") + 4);
}

std::string BodyOf(const std::string& response)
{
    const auto end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

class TestHttpServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
};

}  // namespace

TEST_F(TestHttpServerTest, SendsStatusHeadersAndBodyInOrder)
{
    m_server.Route("/page", HttpResponse::Text("hello", "text/html").Header("X-One", "1").LastModified(784111777));
    EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-One: 1\r\n"
              "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\nContent-Length: 5\r\n"
              "Connection: close\r\n\r\nhello",
              Fetch(m_server, "/page?q=1"));
    EXPECT_EQ(0u, Fetch(m_server, "/missing").rfind("HTTP/1.1 404 ", 0));

    Client head(m_server.Port());
    head.Send("HEAD /page HTTP/1.1\r\n\r\n");
    const std::string headOnly = head.ReadToEnd();
    EXPECT_NE(std::string::npos, headOnly.find("Content-Length: 5\r\n"));
    EXPECT_EQ("", BodyOf(headOnly));
}

TEST_F(TestHttpServerTest, RecordsRequestsAsReceived)
{
    Client client(m_server.Port());
    client.Send("POST /form?a=b%20c HTTP/1.0\nuser-AGENT:  Tester \nContent-Length: 4\n\nbody");
    client.ReadToEnd();
    Client expecting(m_server.Port());
    expecting.Send("PUT /form HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    bool closed = false;
    EXPECT_EQ("HTTP/1.1 100 Continue\r\n\r\n", expecting.ReadSome(&closed));
    expecting.Send("abc");
    EXPECT_EQ(0u, expecting.ReadToEnd().rfind("HTTP/1.1 404 ", 0));
    EXPECT_EQ(0u, Fetch(m_server, "/ bad\r\nno colon\r\n").rfind("HTTP/1.1 400 ", 0));

    ASSERT_EQ(2u, m_server.RequestCount());
    EXPECT_EQ(2u, m_server.RequestCount("/form"));
    EXPECT_EQ("abc", m_server.Requests()[1].body);
    EXPECT_EQ(0u, m_server.RequestCount("/"));
    const HttpRequest first = m_server.Requests()[0];
    EXPECT_EQ("POST", first.method);
    EXPECT_EQ("/form?a=b%20c", first.target);
    EXPECT_EQ("a=b%20c", first.Query());
    EXPECT_EQ("HTTP/1.0", first.version);
    EXPECT_EQ("Tester", first.Header("User-Agent"));
    EXPECT_FALSE(first.HasHeader("Host"));
    EXPECT_EQ("body", first.body);
}

TEST_F(TestHttpServerTest, CountsConcurrentRequestsAndWaits)
{
    m_server.Route("/slow", [](const HttpRequest& request) {
        HttpResponse response = HttpResponse::Text(request.Query());
        response.delayBeforeStatus = 50ms;
        return response;
    });
    std::vector<std::thread> clients;
    for (int i = 0; i < 6; ++i) {
        clients.emplace_back([this, i] {
            EXPECT_EQ(std::to_string(i), BodyOf(Fetch(m_server, "/slow?" + std::to_string(i))));
        });
    }
    EXPECT_TRUE(m_server.WaitForRequests(6, 10s));
    for (auto& client : clients)
        client.join();
    EXPECT_EQ(6u, m_server.RequestCount("/slow"));
    EXPECT_FALSE(m_server.WaitForRequests(7, 100ms));
    EXPECT_TRUE(m_server.WaitForNoConnections(5s));
}

TEST_F(TestHttpServerTest, FramesBodiesWithoutLengthAndChunked)
{
    HttpResponse unframed = HttpResponse::Text("until close");
    unframed.framing = Framing::CloseDelimited;
    m_server.Route("/close", unframed);
    const std::string plain = Fetch(m_server, "/close");
    EXPECT_EQ(std::string::npos, HeadOf(plain).find("Content-Length"));
    EXPECT_EQ("until close", BodyOf(plain));

    HttpResponse chunked = HttpResponse::Pattern(10000);
    chunked.framing = Framing::Chunked;
    m_server.Route("/chunked", chunked);
    const std::string response = Fetch(m_server, "/chunked");
    EXPECT_NE(std::string::npos, HeadOf(response).find("Transfer-Encoding: chunked\r\n"));
    EXPECT_EQ(std::string::npos, HeadOf(response).find("Content-Length"));
    std::string wire = BodyOf(response);
    std::string decoded;
    std::vector<std::size_t> sizes;
    for (;;) {
        const auto lineEnd = wire.find("\r\n");
        ASSERT_NE(std::string::npos, lineEnd);
        const std::size_t size = std::stoul(wire.substr(0, lineEnd), nullptr, 16);
        sizes.push_back(size);
        ASSERT_EQ("\r\n", wire.substr(lineEnd + 2 + size, 2));
        decoded += wire.substr(lineEnd + 2, size);
        wire.erase(0, lineEnd + 4 + size);
        if (size == 0)
            break;
    }
    EXPECT_EQ((std::vector<std::size_t>{4096, 4096, 1808, 0}), sizes);
    EXPECT_EQ("", wire);
    EXPECT_EQ(PatternBytes(0, 10000), decoded);
}

TEST_F(TestHttpServerTest, SendsIcyStatusLineAndRawBytes)
{
    HttpResponse icy = HttpResponse::Text("audio", "audio/mpeg");
    icy.statusLine = "ICY 200 OK";
    icy.framing = Framing::CloseDelimited;
    m_server.Route("/icy", icy);
    EXPECT_EQ("ICY 200 OK\r\nContent-Type: audio/mpeg\r\nConnection: close\r\n\r\naudio",
              Fetch(m_server, "/icy"));

    const std::string raw = "HTTP/1.0 200 OK\r\n\r\nICY 200 OK\r\nicy-name: x\r\n\r\nabc";
    m_server.Route("/raw", HttpResponse::Raw(raw));
    EXPECT_EQ(raw, Fetch(m_server, "/raw"));
}

TEST_F(TestHttpServerTest, HelpersBuildRedirectAndChallenge)
{
    m_server.Route("/moved", HttpResponse::Redirect(301, "/new"));
    m_server.Route("/auth", HttpResponse::Unauthorized("Basic realm=\"r\""));
    const std::string moved = Fetch(m_server, "/moved");
    EXPECT_EQ(0u, moved.rfind("HTTP/1.1 301 Moved Permanently\r\n", 0));
    EXPECT_NE(std::string::npos, moved.find("\r\nLocation: /new\r\n"));
    const std::string auth = Fetch(m_server, "/auth");
    EXPECT_EQ(0u, auth.rfind("HTTP/1.1 401 Unauthorized\r\n", 0));
    EXPECT_NE(std::string::npos, auth.find("\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"));
}

TEST_F(TestHttpServerTest, StallKeepsConnectionOpenUntilClientLeaves)
{
    HttpResponse stalled = HttpResponse::Pattern(1000);
    stalled.stallAfter = 100;
    m_server.Route("/stall", stalled);
    {
        Client client(m_server.Port());
        client.Send("GET /stall HTTP/1.1\r\n\r\n");
        bool closed = false;
        std::string data = client.ReadResponse(100, &closed);
        EXPECT_EQ("", client.Read(300ms, &closed));
        EXPECT_FALSE(closed);
        EXPECT_NE(std::string::npos, data.find("Content-Length: 1000\r\n"));
        EXPECT_EQ(PatternBytes(0, 100), BodyOf(data));
        EXPECT_EQ(1u, m_server.OpenConnections());
    }
    EXPECT_TRUE(m_server.WaitForNoConnections(5s));
}

TEST_F(TestHttpServerTest, CutClosesBeforeTheAnnouncedLength)
{
    HttpResponse cut = HttpResponse::Pattern(1000);
    cut.cutAfter = 300;
    cut.delayBeforeBody = 20ms;
    m_server.Route("/cut", cut);
    const std::string response = Fetch(m_server, "/cut");
    EXPECT_NE(std::string::npos, response.find("Content-Length: 1000\r\n"));
    EXPECT_EQ(PatternBytes(0, 300), BodyOf(response));
}

TEST_F(TestHttpServerTest, GeneratesLargeBodyInOrder)
{
    constexpr std::uint64_t kSize = 50ull << 20;
    m_server.Route("/big", HttpResponse::Pattern(kSize));
    Client client(m_server.Port());
    client.Send("GET /big HTTP/1.1\r\n\r\n");
    bool closed = false;
    const std::string start = client.ReadResponse(0, &closed);
    ASSERT_NE(std::string::npos, start.find("Content-Length: 52428800\r\n"));
    const std::string firstPiece = BodyOf(start);
    std::uint64_t received = firstPiece.size();
    std::uint64_t mismatches = firstPiece != PatternBytes(0, firstPiece.size());
    while (!closed) {
        const std::string piece = client.Read(10s, &closed, 1 << 20);
        if (piece.empty() && !closed)
            break;
        const std::string expected = PatternBytes(received, piece.size());
        mismatches += piece != expected;
        received += piece.size();
    }
    EXPECT_EQ(kSize, received);
    EXPECT_EQ(0u, mismatches);
}

TEST_F(TestHttpServerTest, StopEndsStalledDelayedAndUnreadConnectionsPromptly)
{
    HttpResponse stalled = HttpResponse::Text("x");
    stalled.stallAfter = 0;
    HttpResponse delayed = HttpResponse::Text("x");
    delayed.delayBeforeStatus = 60s;
    m_server.Route("/stall", stalled);
    m_server.Route("/delay", delayed);
    m_server.Route("/unread", HttpResponse::Pattern(200ull << 20));
    std::vector<std::unique_ptr<Client>> clients;
    for (const char* path : {"/stall", "/delay", "/unread"}) {
        clients.push_back(std::make_unique<Client>(m_server.Port()));
        clients.back()->Send(std::string("GET ") + path + " HTTP/1.1\r\n\r\n");
    }
    ASSERT_TRUE(m_server.WaitForRequests(3, 10s));
    const auto start = std::chrono::steady_clock::now();
    m_server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(0u, m_server.OpenConnections());
    bool closed = false;
    clients[0]->Read(5s, &closed);
    EXPECT_TRUE(closed);
    clients[1]->Read(5s, &closed);
    EXPECT_TRUE(closed);
}

TEST_F(TestHttpServerTest, ServesByteRanges)
{
    HttpResponse ranged = HttpResponse::Pattern(1000);
    ranged.acceptRanges = true;
    m_server.Route("/file", ranged);
    const std::string whole = Fetch(m_server, "/file");
    EXPECT_EQ(0u, whole.rfind("HTTP/1.1 200 OK\r\n", 0));
    EXPECT_NE(std::string::npos, whole.find("\r\nAccept-Ranges: bytes\r\n"));

    const std::string middle = Fetch(m_server, "/file", "Range: bytes=10-19\r\n");
    EXPECT_EQ(0u, middle.rfind("HTTP/1.1 206 Partial Content\r\n", 0));
    EXPECT_NE(std::string::npos, middle.find("\r\nContent-Range: bytes 10-19/1000\r\n"));
    EXPECT_NE(std::string::npos, middle.find("\r\nContent-Length: 10\r\n"));
    EXPECT_EQ(PatternBytes(10, 10), BodyOf(middle));

    EXPECT_EQ(PatternBytes(995, 5), BodyOf(Fetch(m_server, "/file", "Range: bytes=-5\r\n")));
    EXPECT_EQ(PatternBytes(990, 10), BodyOf(Fetch(m_server, "/file", "Range: bytes=990-5000\r\n")));
    const std::string beyond = Fetch(m_server, "/file", "Range: bytes=1000-\r\n");
    EXPECT_EQ(0u, beyond.rfind("HTTP/1.1 416 ", 0));
    EXPECT_NE(std::string::npos, beyond.find("\r\nContent-Range: bytes */1000\r\n"));
    EXPECT_EQ("", BodyOf(beyond));
}

TEST_F(TestHttpServerTest, InsertsIcyMetadataOnlyWhenAskedFor)
{
    HttpResponse stream = HttpResponse::Pattern(40);
    stream.icy.interval = 16;
    stream.icy.blocks = {IcyTitle("A - B")};
    m_server.Route("/live", stream);

    const std::string block = std::string(1, '\2') + "StreamTitle='A - B';" + std::string(12, '\0');
    const std::string expected = PatternBytes(0, 16) + block + PatternBytes(16, 16) +
                                 std::string(1, '\0') + PatternBytes(32, 8);
    const std::string withMeta = Fetch(m_server, "/live", "Icy-MetaData: 1\r\n");
    EXPECT_NE(std::string::npos, withMeta.find("\r\nicy-metaint: 16\r\n"));
    EXPECT_NE(std::string::npos, withMeta.find("\r\nContent-Length: 74\r\n"));
    EXPECT_EQ(expected, BodyOf(withMeta));

    const std::string plain = Fetch(m_server, "/live");
    EXPECT_EQ(std::string::npos, plain.find("icy-metaint"));
    EXPECT_EQ(PatternBytes(0, 40), BodyOf(plain));
}

TEST_F(TestHttpServerTest, PacesAfterTheBurst)
{
    HttpResponse paced = HttpResponse::Pattern(100000);
    paced.burstBytes = 5000;
    paced.bytesPerSecond = 2000;
    m_server.Route("/paced", paced);
    Client client(m_server.Port());
    client.Send("GET /paced HTTP/1.1\r\n\r\n");
    bool closed = false;
    std::string data = client.ReadResponse(5000, &closed);
    // 2000 bytes per second cannot deliver the burst and 20000 more within a second.
    data += client.Read(1s, &closed);
    const std::string body = BodyOf(data);
    EXPECT_GE(body.size(), 5000u);
    EXPECT_LT(body.size(), 25000u);
    EXPECT_EQ(PatternBytes(0, body.size()), body);
}

TEST_F(TestHttpServerTest, BodyPrefixLeadsTheBodyAndMetadataCountsAfterIt)
{
    HttpResponse stream = HttpResponse::Pattern(40);
    stream.bodyPrefix = "ICY 200 OK\r\nicy-metaint:16\r\n\r\n";
    stream.icy.interval = 16;
    stream.icy.blocks = {IcyTitle("A")};
    stream.icy.announce = false;
    m_server.Route("/live", stream);

    const std::string block = std::string(1, '\1') + "StreamTitle='A';";  // exactly one 16-byte unit
    const std::string expected = stream.bodyPrefix + PatternBytes(0, 16) + block + PatternBytes(16, 16) +
                                 std::string(1, '\0') + PatternBytes(32, 8);
    const std::string response = Fetch(m_server, "/live", "Icy-MetaData: 1\r\n");
    EXPECT_EQ(std::string::npos, HeadOf(response).find("icy-metaint"));
    const std::string length = "\r\nContent-Length: " + std::to_string(expected.size()) + "\r\n";
    EXPECT_NE(std::string::npos, HeadOf(response).find(length));
    EXPECT_EQ(expected, BodyOf(response));

    // The prefix counts as body bytes for a cut.
    HttpResponse cut = HttpResponse::Pattern(100);
    cut.bodyPrefix = "head:";
    cut.cutAfter = 8;
    m_server.Route("/cut", cut);
    EXPECT_EQ("head:" + PatternBytes(0, 3), BodyOf(Fetch(m_server, "/cut")));
}

TEST_F(TestHttpServerTest, MmsChunksCarryMarkTypeLengthAndPrefix)
{
    const std::string data = MmsChunk('D', "abc", 0x01020304);
    EXPECT_EQ(std::string("$D\x0B\x00\x04\x03\x02\x01\x00\x00\x0B\x00" "abc", 15), data);
    const std::string other = MmsChunk('E', std::string(300, 'x'), 7, 0xA4);
    ASSERT_EQ(304u, other.size());
    EXPECT_EQ(std::string("\xA4" "E\x2C\x01", 4), other.substr(0, 4));
    EXPECT_EQ(std::string(300, 'x'), other.substr(4));
    EXPECT_EQ(std::string("$H\x05\x00", 4), MmsChunkHead('H', 5));
    EXPECT_THROW(MmsChunk('D', std::string(65528, 'x')), std::length_error);
    EXPECT_EQ(65535u, MmsChunk('D', std::string(65527, 'x')).size() - 4);
}
