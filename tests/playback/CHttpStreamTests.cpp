// CHttpStream against the local server: the request it sends, the
// response facts it keeps, direct reads with their ring history, seeking
// and cancelling.
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

constexpr char kPragma[] =
    "no-cache,rate=1.000000,stream-time=0,stream-offset=4294967295:4294967295,request-context=1,"
    "max-duration=2147492981,xPlayStrm=1";

class HeaderProbe : public CHttpStream {
public:
    std::u16string For(DWORD position, DWORD end) {
        m_dwPosition = position;
        m_dwRangeEnd = end;
        BuildHeaders();
        return Headers();
    }
};

using Connect = StreamServerTest;
using Seek = StreamServerTest;
using Cancel = StreamServerTest;

TEST(BuildHeaders, StreamHeadersWithARangeOnlyAfterTheStart) {
    const std::u16string base = Ascii(std::string("Icy-MetaData: 1\nPragma: ") + kPragma + "\n");
    HeaderProbe probe;
    EXPECT_EQ(base, probe.For(0, 0));
    EXPECT_EQ(base, probe.For(0, 500));
    EXPECT_EQ(base + u"Range: bytes=4000000000-\n", probe.For(4000000000u, 0));
    EXPECT_EQ(base + u"Range: bytes=100-4294967295\n", probe.For(100, 4294967295u));
}

TEST_F(Connect, SendsStreamHeadersAndAgentAndKeepsTheResponseFacts) {
    RouteWith("/new", HttpResponse::Pattern(5000, "Audio/MPEG"), [](auto& r) { r.acceptRanges = true; });
    m_server.Route("/old", HttpResponse::Redirect(302, "/new"));
    StreamPtr<> stream = Connected("/old");
    ASSERT_EQ(2u, m_server.RequestCount());
    const HttpRequest request = m_server.Requests()[0];
    EXPECT_EQ("1", request.Header("Icy-MetaData"));
    EXPECT_EQ(kPragma, request.Header("Pragma"));
    EXPECT_EQ("NSPlayer/10.0.0.3802/1.0(WinCE; " + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" +
                  std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")",
              request.Header("User-Agent"));
    EXPECT_EQ(Url("/new"), stream->Url());
    EXPECT_EQ(u"audio/mpeg", std::u16string(stream->ContentType()));
    EXPECT_EQ(5000u, stream->ContentLength());
    EXPECT_TRUE(stream->RangesSupported());
    EXPECT_EQ(DWORD(INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE), stream->OpenFlags());
    stream->Close();
    EXPECT_FALSE(stream->IsConnected());
    EXPECT_EQ(0u, stream->ContentLength());
    EXPECT_FALSE(stream->RangesSupported());
}

TEST_F(Connect, FailuresGiveTheirCodes) {
    m_server.Route("/gone", HttpResponse::Status(410, "Gone"));
    m_server.Route("/broken", HttpResponse::Status(500, "Internal Server Error", "oops"));
    StreamPtr<> stream(new CHttpStreamBuffer);
    EXPECT_EQ(-2, stream->Connect(u"", 1000));
    std::u16string longUrl = Url("/a?");
    longUrl.append(CHttpStream::kUrlChars - longUrl.size(), u'x');
    EXPECT_EQ(-2, stream->Connect(longUrl.c_str(), 1000));
    EXPECT_EQ(-2, stream->Reconnect(1000));  // no address kept
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_FALSE(Connected("/missing", -2)->IsConnected());
    Connected("/gone", -2);
    EXPECT_TRUE(Connected("/broken")->IsConnected());  // only 400-499 is refused
    TestHttpServer closed;
    ASSERT_TRUE(closed.Start());
    const std::u16string nowhere = Ascii(closed.Url("/x"));
    closed.Stop();
    EXPECT_EQ(2, stream->Connect(nowhere.c_str(), 10000));
    EXPECT_NE(0, stream->Connect((u"https://" + nowhere.substr(7)).c_str(), 10000));
    EXPECT_EQ(0x84C00000u, stream->OpenFlags());
}

TEST_F(Seek, BackOverWhatADirectReadKeptNeedsNoRequestButWithoutRangesNothingBeyondTheRing) {
    m_server.Route("/big", HttpResponse::Pattern(3000000));
    StreamPtr<> stream = OpenDetected("/big");
    ASSERT_EQ(CHttpStreamBuffer::kMaxRingSize, stream->Ring()->Capacity());
    EXPECT_EQ(PatternBytes(0, 100000), ReadAll(*stream, 100000, 7000));
    EXPECT_EQ(100000u, stream->Position());
    EXPECT_EQ(0, stream->Seek(0, 0));
    EXPECT_EQ(PatternBytes(0, 150000), ReadAll(*stream, 150000, 9000));
    EXPECT_EQ(60000, stream->Seek(60000, 0));
    ASSERT_EQ(PatternBytes(60000, 1140000), ReadAll(*stream, 1140000, 32768));
    EXPECT_EQ(-1, stream->Seek(0, 0));
    EXPECT_EQ(-1, stream->Seek(2000000, 0));
    EXPECT_EQ(PatternBytes(1200000, 5000), ReadAll(*stream, 5000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Seek, RangesReconnectFromThePositionWhenTheServerHonoursThemAndNoReaderRuns) {
    RouteWith("/big", HttpResponse::Pattern(3000000), [](auto& r) { r.acceptRanges = true; });
    StreamPtr<> stream = OpenDetected("/big");
    ASSERT_EQ(PatternBytes(0, 100), ReadAll(*stream, 100));
    ASSERT_EQ(2000000, stream->Seek(2000000, 0));
    ASSERT_EQ(2u, m_server.RequestCount());
    EXPECT_EQ("bytes=2000000-", m_server.Requests()[1].Header("Range"));
    EXPECT_EQ(PatternBytes(2000000, 5000), ReadAll(*stream, 5000));
    EXPECT_EQ(2001000, stream->Seek(2001000, 0));  // within what the new connection brought
    EXPECT_EQ(PatternBytes(2001000, 100), ReadAll(*stream, 100));
    EXPECT_EQ(2u, m_server.RequestCount());
    ASSERT_EQ(1000, stream->Seek(1000, 1999));
    EXPECT_EQ("bytes=1000-1999", m_server.Requests()[2].Header("Range"));
    EXPECT_EQ(PatternBytes(1000, 1000), ReadAll(*stream, 5000));
    ASSERT_EQ(0, stream->Seek(0, 0));
    EXPECT_FALSE(m_server.Requests()[3].HasHeader("Range"));
    EXPECT_EQ(PatternBytes(0, 3000), ReadAll(*stream, 3000));
    stream->StartReader();  // it owns the connection now
    EXPECT_EQ(-1, stream->Seek(2500000, 0));
    EXPECT_EQ(PatternBytes(3000, 10000), ReadAll(*stream, 10000));
    EXPECT_EQ(4u, m_server.RequestCount());
    // A server that announces ranges but answers every request from 0 is not taken for it.
    m_server.Route("/liar", HttpResponse::Pattern(3000000).Header("Accept-Ranges", "bytes"));
    stream = OpenDetected("/liar");
    ASSERT_TRUE(stream->RangesSupported());
    EXPECT_EQ(-1, stream->Seek(2000000, 0));
    EXPECT_EQ(2u, m_server.RequestCount("/liar"));
    BYTE byte;
    EXPECT_EQ(-1, stream->Read(&byte, 1, 2000));
}

TEST_F(Cancel, EndsADirectReadAConnectAndADetectPromptly) {
    RouteWith("/late", HttpResponse::Pattern(3000), [](auto& r) { r.delayBeforeBody = 1500ms; });
    StreamPtr<> stream = Connected("/late");
    PostThreadMessageW(GetCurrentThreadId(), kForeignMessage, 7, 0);
    PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
    BYTE buffer[100];
    EXPECT_LT(Took([&] { EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 20000)); }), 5s);
    EXPECT_EQ(PatternBytes(0, 3000), ReadAll(*stream, 3000, 1000));  // the outstanding read is collected
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, kForeignMessage, kForeignMessage, PM_REMOVE) && msg.wParam == 7);
    RouteWith("/slow", HttpResponse::Text("late"), [](auto& r) { r.delayBeforeStatus = 30s; });
    PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
    EXPECT_LT(Took([&] { EXPECT_EQ(-1, stream->Connect(Url("/slow").c_str(), 20000)); }), 5s);
    EXPECT_FALSE(stream->IsConnected());
    RouteWith("/stall", HttpResponse::Pattern(100000), [](auto& r) { r.stallAfter = 0; });
    ASSERT_EQ(0, stream->Connect(Url("/stall").c_str(), 10000));
    PostThreadMessageW(GetCurrentThreadId(), UM_STREAM_CANCEL, 0, 0);
    CHttpStream* plain = stream.release();
    EXPECT_LT(Took([&] { stream.reset(plain->Detect()); }), 10s);
    EXPECT_EQ(plain, stream.get());
}

}  // namespace
}  // namespace orvi::test
