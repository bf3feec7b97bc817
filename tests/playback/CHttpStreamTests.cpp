// CHttpStream against the local server: the request it sends, the
// response facts it keeps, direct reads with their ring history, seeking
// and cancelling.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "CStreamRing.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;

constexpr char kPragma[] =
    "no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=1,"
    "max-duration=2147492981,xPlayStrm=1";
constexpr UINT kForeignMessage = WM_USER + 786;  // the decode thread's own range

// Exposes the request-header step and the position it depends on.
class HeaderProbe : public CHttpStream {
public:
    void SetRange(DWORD position, DWORD end) {
        m_dwPosition = position;
        m_dwRangeEnd = end;
    }
    using CHttpStream::BuildHeaders;
};

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

std::string ExpectedAgent() {
    return "NSPlayer/10.0.0.3802/1.0(WinCE; " + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
           std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")";
}

class HttpStreamTest : public StreamServerTest {
protected:
    StreamPtr<> Connected(const std::string& path, int* result = nullptr) {
        StreamPtr<> stream(new CHttpStreamBuffer);
        const int connected = stream->Connect(Url(path).c_str(), 10000);
        if (result)
            *result = connected;
        else
            EXPECT_EQ(0, connected);
        return stream;
    }
};

using BuildHeaders = ::testing::Test;
using Connect = HttpStreamTest;
using DirectRead = HttpStreamTest;
using Seek = HttpStreamTest;
using Cancel = HttpStreamTest;

TEST_F(BuildHeaders, StreamHeadersWithAndWithoutARange) {
    const std::u16string base = Ascii(std::string("Icy-MetaData: 1\nPragma: ") + kPragma + "\n");
    HeaderProbe probe;
    probe.BuildHeaders();
    EXPECT_EQ(base, probe.Headers());
    probe.SetRange(0, 500);  // no position: no range, whatever the end
    probe.BuildHeaders();
    EXPECT_EQ(base, probe.Headers());
    probe.SetRange(4000000000u, 0);
    probe.BuildHeaders();
    EXPECT_EQ(base + u"Range: bytes=4000000000-\n", probe.Headers());
    probe.SetRange(100, 4294967295u);
    probe.BuildHeaders();
    EXPECT_EQ(base + u"Range: bytes=100-4294967295\n", probe.Headers());
}

TEST_F(Connect, SendsStreamHeadersAndAgentAndKeepsTheResponseFacts) {
    HttpResponse response = HttpResponse::Pattern(5000, "Audio/MPEG");
    response.acceptRanges = true;
    m_server.Route("/new", response);
    m_server.Route("/old", HttpResponse::Redirect(302, "/new"));
    StreamPtr<> stream = Connected("/old");
    ASSERT_EQ(2u, m_server.RequestCount());
    const HttpRequest request = m_server.Requests()[0];
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("1", request.Header("Icy-MetaData"));
    EXPECT_EQ(kPragma, request.Header("Pragma"));
    EXPECT_EQ(ExpectedAgent(), request.Header("User-Agent"));
    EXPECT_EQ(ExpectedAgent(), Narrow(stream->UserAgent()));
    EXPECT_FALSE(request.HasHeader("Range"));
    EXPECT_EQ(Url("/new"), stream->Url());
    EXPECT_EQ(u"audio/mpeg", std::u16string(stream->ContentType()));
    EXPECT_EQ(5000u, stream->ContentLength());
    EXPECT_TRUE(stream->RangesSupported());
    EXPECT_EQ(0u, stream->Position());
    EXPECT_EQ(DWORD(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE), stream->OpenFlags());
    EXPECT_TRUE(stream->IsConnected());
    stream->Close();
    EXPECT_FALSE(stream->IsConnected());
    EXPECT_EQ(u"", std::u16string(stream->ContentType()));
    EXPECT_EQ(0u, stream->ContentLength());
    EXPECT_FALSE(stream->RangesSupported());
}

TEST_F(Connect, MmsAddressIsRequestedAsHttp) {
    m_server.Route("/live", HttpResponse::Pattern(100));
    StreamPtr<> stream(new CHttpStreamBuffer);
    const std::u16string mms = u"mms://" + Url("/live").substr(7);
    ASSERT_EQ(0, stream->Connect(mms.c_str(), 10000));
    EXPECT_EQ(Url("/live"), stream->Url());
    EXPECT_EQ(1u, m_server.RequestCount("/live"));
    EXPECT_EQ(PatternBytes(0, 100), ReadAll(*stream, 100, 100));  // reads up to the ring size of 100
}

TEST_F(Connect, RefusesEmptyAndOverlongAddressesWithoutARequest) {
    StreamPtr<> stream(new CHttpStreamBuffer);
    EXPECT_EQ(-2, stream->Connect(u"", 1000));
    EXPECT_EQ(-2, stream->Connect(nullptr, 1000));
    std::u16string longUrl = Url("/a?");
    longUrl.append(CHttpStream::kUrlChars - longUrl.size(), u'x');
    EXPECT_EQ(-2, stream->Connect(longUrl.c_str(), 1000));
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_EQ(-2, stream->Reconnect(1000));  // no address kept
}

TEST_F(Connect, ClientErrorsFailAndAMissingServerGivesNoResponse) {
    m_server.Route("/gone", HttpResponse::Status(410, "Gone"));
    m_server.Route("/broken", HttpResponse::Status(500, "Internal Server Error", "oops"));
    int result = 0;
    EXPECT_FALSE(Connected("/missing", &result)->IsConnected());
    EXPECT_EQ(-2, result);
    Connected("/gone", &result);
    EXPECT_EQ(-2, result);
    // Only 400-499 is refused; other statuses stay connected.
    EXPECT_TRUE(Connected("/broken", &result)->IsConnected());
    EXPECT_EQ(0, result);

    TestHttpServer closed;
    ASSERT_TRUE(closed.Start());
    const std::u16string nowhere = Ascii(closed.Url("/x"));
    closed.Stop();
    StreamPtr<> stream(new CHttpStreamBuffer);
    EXPECT_EQ(2, stream->Connect(nowhere.c_str(), 10000));
}

TEST_F(Connect, SecureAddressAddsSecureFlags) {
    HttpResponse silent = HttpResponse::Text("");
    silent.delayBeforeStatus = 30s;
    m_server.Route("/s", silent);
    StreamPtr<> stream(new CHttpStreamBuffer);
    const std::u16string secure = u"https://" + Url("/s").substr(7);
    EXPECT_NE(0, stream->Connect(secure.c_str(), 1500));  // the test server speaks no TLS
    EXPECT_EQ(0x84C00000u, stream->OpenFlags());
}

TEST_F(DirectRead, KeepsWhatItReadSoSeekBackNeedsNoRequest) {
    m_server.Route("/file", HttpResponse::Pattern(300000));
    StreamPtr<> stream = OpenDetected("/file");
    ASSERT_EQ(typeid(CHttpStreamBuffer), typeid(*stream));
    EXPECT_EQ(PatternBytes(0, 100000), ReadAll(*stream, 100000, 7000));
    EXPECT_EQ(100000u, stream->Position());
    EXPECT_EQ(0, stream->Seek(0, 0));
    EXPECT_EQ(PatternBytes(0, 150000), ReadAll(*stream, 150000, 9000));
    EXPECT_EQ(60000, stream->Seek(60000, 0));
    EXPECT_EQ(PatternBytes(60000, 240000), ReadAll(*stream, 300000, 32768));
    BYTE end[4];
    EXPECT_EQ(0, stream->Read(end, 4, 5000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Seek, WithoutRangesNothingBeyondTheRingCanBeReached) {
    m_server.Route("/big", HttpResponse::Pattern(3000000));
    StreamPtr<> stream = OpenDetected("/big");
    ASSERT_EQ(CHttpStreamBuffer::kMaxRingSize, stream->Ring()->Capacity());
    ASSERT_EQ(PatternBytes(0, 1200000), ReadAll(*stream, 1200000, 32768));
    EXPECT_EQ(-1, stream->Seek(0, 0));
    EXPECT_EQ(-1, stream->Seek(2000000, 0));
    EXPECT_EQ(1200000u, stream->Position());
    EXPECT_EQ(PatternBytes(1200000, 5000), ReadAll(*stream, 5000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Seek, RangesReconnectFromThePosition) {
    HttpResponse ranged = HttpResponse::Pattern(3000000);
    ranged.acceptRanges = true;
    m_server.Route("/big", ranged);
    StreamPtr<> stream = OpenDetected("/big");
    ASSERT_EQ(PatternBytes(0, 100), ReadAll(*stream, 100));
    ASSERT_EQ(2000000, stream->Seek(2000000, 0));
    ASSERT_EQ(2u, m_server.RequestCount());
    EXPECT_EQ("bytes=2000000-", m_server.Requests()[1].Header("Range"));
    EXPECT_EQ(PatternBytes(2000000, 5000), ReadAll(*stream, 5000));
    EXPECT_EQ(2005000u, stream->Position());
    // Back within what the new connection brought: from the ring.
    EXPECT_EQ(2001000, stream->Seek(2001000, 0));
    EXPECT_EQ(PatternBytes(2001000, 100), ReadAll(*stream, 100));
    EXPECT_EQ(2u, m_server.RequestCount());
    // A bounded range ends where it was asked to.
    ASSERT_EQ(1000, stream->Seek(1000, 1999));
    EXPECT_EQ("bytes=1000-1999", m_server.Requests()[2].Header("Range"));
    EXPECT_EQ(PatternBytes(1000, 1000), ReadAll(*stream, 5000));
    // Position 0 is asked for without a range.
    ASSERT_EQ(0, stream->Seek(0, 0));
    EXPECT_FALSE(m_server.Requests()[3].HasHeader("Range"));
    EXPECT_EQ(PatternBytes(0, 3000), ReadAll(*stream, 3000));
}

TEST_F(Seek, ServerThatIgnoresTheRangeIsNotTakenForIt) {
    HttpResponse liar = HttpResponse::Pattern(3000000);
    liar.Header("Accept-Ranges", "bytes");  // announced, but every answer starts at 0
    m_server.Route("/big", liar);
    StreamPtr<> stream = OpenDetected("/big");
    ASSERT_TRUE(stream->RangesSupported());
    EXPECT_EQ(-1, stream->Seek(2000000, 0));
    EXPECT_EQ(2u, m_server.RequestCount());
    BYTE byte;
    EXPECT_EQ(-1, stream->Read(&byte, 1, 2000));
}

TEST_F(Cancel, EndsADirectReadOfASilentServerAndLosesNothing) {
    HttpResponse late = HttpResponse::Pattern(3000);
    late.delayBeforeBody = 1500ms;
    m_server.Route("/late", late);
    int first = 0;
    std::string rest;
    bool foreignKept = false;
    std::chrono::steady_clock::duration cancelTook{};
    StreamThread reader([&] {
        StreamPtr<> stream(new CHttpStreamBuffer);
        ASSERT_EQ(0, stream->Connect(Url("/late").c_str(), 10000));
        PostThreadMessageW(GetCurrentThreadId(), kForeignMessage, 7, 0);
        PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
        const auto start = std::chrono::steady_clock::now();
        BYTE buffer[100];
        first = stream->Read(buffer, sizeof(buffer), 20000);
        cancelTook = std::chrono::steady_clock::now() - start;
        // The outstanding read is collected, with the foreign message still queued.
        rest = ReadAll(*stream, 3000, 1000);
        MSG msg;
        foreignKept = PeekMessageW(&msg, nullptr, kForeignMessage, kForeignMessage, PM_REMOVE) && msg.wParam == 7;
    });
    ASSERT_TRUE(reader.Join(30000));
    EXPECT_EQ(-1, first);
    EXPECT_LT(cancelTook, 5s);
    EXPECT_TRUE(foreignKept);
    EXPECT_EQ(PatternBytes(0, 3000), rest);
}

TEST_F(Cancel, EndsAConnectWaitingForTheResponse) {
    HttpResponse slow = HttpResponse::Text("late");
    slow.delayBeforeStatus = 30s;
    m_server.Route("/slow", slow);
    StreamPtr<> stream(new CHttpStreamBuffer);
    PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-1, stream->Connect(Url("/slow").c_str(), 20000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(stream->IsConnected());
}

TEST_F(Cancel, TimeLimitEndsADirectReadOfAStalledServer) {
    HttpResponse stalled = HttpResponse::Pattern(100000);
    stalled.stallAfter = 100;
    m_server.Route("/stall", stalled);
    StreamPtr<> stream = Connected("/stall");
    EXPECT_EQ(PatternBytes(0, 100), ReadAll(*stream, 100));
    const auto start = std::chrono::steady_clock::now();
    BYTE buffer[100];
    EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(Cancel, DuringDetectKeepsThePlainStream) {
    HttpResponse stalled = HttpResponse::Pattern(100000);
    stalled.stallAfter = 0;
    m_server.Route("/stall", stalled);
    StreamPtr<> stream(new CHttpStreamBuffer);
    ASSERT_EQ(0, stream->Connect(Url("/stall").c_str(), 10000));
    PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
    CHttpStream* raw = stream.get();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(raw, stream.release()->Detect());
    stream.reset(raw);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

}  // namespace
}  // namespace orvi::test
