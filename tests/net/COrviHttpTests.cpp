// COrviHttp against the local test server: requests, bodies, text and
// cancelling.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "CHttpHeap.h"
#include "COrviHttp.h"
#include "LogTestSupport.h"
#include "ScopedEnv.h"
#include "TestHttpServer.h"
#include "TestSupport.h"

using orvi::test::Ascii;
using orvi::test::HttpResponse;
using orvi::test::ScopedEnv;

namespace {

class HttpTest : public orvi::test::DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    // Sends a GET that must succeed and reads its body.
    int Fetch(const std::string& path, const BYTE** data, int waitSeconds = 10, int cap = 0) {
        EXPECT_EQ(200, m_http.SendGet(Url(path).c_str()));
        return m_http.ReadBody(data, waitSeconds, cap);
    }

    orvi::test::TestHttpServer m_server;
    COrviHttp m_http;
};

class SendGet : public HttpTest {};
class ReadBody : public HttpTest {};
class ReadText : public HttpTest {};
class CloseRequest : public HttpTest {};

TEST_F(SendGet, RefusesOtherSchemesRelativeAndOverlongUrlsWithoutARequest) {
    m_server.Route("/a", HttpResponse::Text("x"));
    EXPECT_EQ(-19, m_http.SendGet(u"ftp://127.0.0.1/a"));
    EXPECT_EQ(-19, m_http.SendGet(u"/a"));
    EXPECT_EQ(-19, m_http.SendGet(u"a"));
    std::u16string longUrl = Url("/a?q=");
    longUrl.append(1040 - longUrl.size(), u'x');
    ASSERT_EQ(1040u, longUrl.size());
    EXPECT_EQ(-19, m_http.SendGet(longUrl.c_str()));
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_EQ(200, m_http.SendGet((u"HTTP://" + Url("/a").substr(7)).c_str()));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(SendGet, SendsUserAgentAndDeviceIdAndReturnsServerStatus) {
    m_server.Route("/missing", HttpResponse::Status(404, "Not Found"));
    m_server.Route("/page", HttpResponse::Text("hello"));
    EXPECT_EQ(404, m_http.SendGet(Url("/missing").c_str()));
    EXPECT_EQ(404, m_http.LastStatus());
    m_http.SetDeviceId(u"abc");
    EXPECT_EQ(200, m_http.SendGet(Url("/page?x=1").c_str()));
    const auto requests = m_server.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("/page?x=1", requests[1].target);
    EXPECT_EQ("GET", requests[1].method);
    EXPECT_EQ("abc", requests[1].Header("DIROVUR-DEVICEID"));
    const std::string agent = requests[1].Header("User-Agent");
    EXPECT_EQ(0u, agent.find("NSPlayer/10.0.0.3802(Calvaro; ")) << agent;
    EXPECT_EQ(std::u16string(m_http.UserAgent()), Ascii(agent));
}

// A client without an identifier still sends the header, empty.
TEST_F(SendGet, SendsEmptyDeviceIdHeader) {
    m_server.Route("/page", HttpResponse::Text("hello"));
    EXPECT_EQ(200, m_http.SendGet(Url("/page").c_str()));
    EXPECT_TRUE(m_server.Requests().back().HasHeader("DIROVUR-DEVICEID"));
}

TEST_F(SendGet, Returns401WithoutAuthenticationRecord) {
    m_server.Route("/private", HttpResponse::Unauthorized("Basic realm=\"radio\""));
    EXPECT_EQ(401, m_http.SendGet(Url("/private").c_str()));
    EXPECT_EQ(1u, m_server.RequestCount("/private"));
}

TEST_F(SendGet, AddsBasicRecordHeaderAndRefusesUnusableRecord) {
    m_server.Route("/private", HttpResponse::Text("secret"));
    m_http.Auths().Add(COrviHttpAuth::Basic, Url("/priv").c_str(), u"joe", u"Authorization: Basic am9lOnB3");
    m_http.SetDeviceId(u"dev42");
    EXPECT_EQ(200, m_http.SendGet(Url("/private").c_str()));
    const auto request = m_server.Requests().back();
    EXPECT_EQ("Basic am9lOnB3", request.Header("Authorization"));
    EXPECT_EQ("joe-dev42", request.Header("DIROVUR-DEVICEID"));

    m_http.Auths().Add(COrviHttpAuth::Other, Url("/private").c_str(), u"ann", u"Authorization: Digest x");
    EXPECT_EQ(-20, m_http.SendGet(Url("/private").c_str()));
    EXPECT_EQ(1u, m_server.RequestCount("/private"));
}

TEST_F(SendGet, FollowsRedirect) {
    m_server.Route("/old", HttpResponse::Redirect(302, m_server.Url("/new")));
    m_server.Route("/new", HttpResponse::Text("moved here"));
    const BYTE* data = nullptr;
    ASSERT_EQ(10, Fetch("/old", &data));
    EXPECT_EQ(0, std::memcmp(data, "moved here", 10));
    EXPECT_EQ(1u, m_server.RequestCount("/new"));
}

TEST_F(SendGet, ReachesLoopbackWithoutNetworkAddressButNotOtherHosts) {
    ScopedEnv noName("ORVI_HOST_NAME", "");
    ScopedEnv noPeer("ORVI_PPP_PEER", nullptr);
    m_server.Route("/page", HttpResponse::Text("local"));
    EXPECT_EQ(-2, m_http.SendGet(u"http://192.0.2.77/page"));
    EXPECT_EQ(200, m_http.SendGet(Url("/page").c_str()));
    const std::u16string byName = u"http://localhost:" + Ascii(std::to_string(m_server.Port())) + u"/page";
    EXPECT_EQ(200, m_http.SendGet(byName.c_str()));
}

TEST_F(SendGet, QuitDuringWaitEndsWithCancelAndStaysQueued) {
    m_server.Route("/slow", HttpResponse::Text("late").Header("X", "y"));
    PostQuitMessage(7);
    EXPECT_EQ(-1, m_http.SendGet(Url("/slow").c_str()));
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(7u, msg.wParam);
}

TEST_F(ReadBody, ReadsBodyWithoutLengthIntoOneTerminatedBlock) {
    HttpResponse response = HttpResponse::Pattern(300000);
    response.framing = orvi::test::Framing::CloseDelimited;
    m_server.Route("/big", response);
    const BYTE* data = nullptr;
    ASSERT_EQ(300000, Fetch("/big", &data));
    EXPECT_EQ(orvi::test::PatternBytes(0, 300000), std::string(reinterpret_cast<const char*>(data), 300000));
    EXPECT_EQ(0, data[300000]);
    EXPECT_EQ(0, data[300001]);
    EXPECT_EQ(u"application/octet-stream", std::u16string(m_http.ContentType()));
    EXPECT_EQ(nullptr, m_http.RequestHandle());

    const BYTE* again = nullptr;
    EXPECT_EQ(300000, m_http.ReadBody(&again, 10, 0));
    EXPECT_EQ(data, again);
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(ReadBody, QuitBetweenReadsEndsWithCancelAndStaysQueued) {
    m_server.Route("/big", HttpResponse::Pattern(100000));
    ASSERT_EQ(200, m_http.SendGet(Url("/big").c_str()));
    PostQuitMessage(3);
    const BYTE* data = nullptr;
    EXPECT_EQ(-1, m_http.ReadBody(&data, 10, 0));
    EXPECT_EQ(nullptr, m_http.RequestHandle());
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
}

TEST_F(ReadBody, StopsAtCap) {
    m_server.Route("/long", HttpResponse::Pattern(200000));
    const BYTE* data = nullptr;
    ASSERT_EQ(32768, Fetch("/long", &data, 10, 32768));
    EXPECT_EQ(orvi::test::PatternBytes(0, 32768), std::string(reinterpret_cast<const char*>(data), 32768));
    EXPECT_EQ(0, data[32768]);
}

TEST_F(ReadBody, EmptyBodyIsZeroAndMissingRequestIsFailure) {
    const BYTE* data = nullptr;
    EXPECT_EQ(-17, m_http.ReadBody(&data, 10, 0));
    m_server.Route("/empty", HttpResponse::Text(""));
    EXPECT_EQ(0, Fetch("/empty", &data));
}

TEST_F(ReadBody, BodyCutShortIsAnError) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.cutAfter = 50000;
    m_server.Route("/cut", response);
    const BYTE* data = nullptr;
    EXPECT_EQ(-17, Fetch("/cut", &data));
    EXPECT_EQ(nullptr, m_http.RequestHandle());
}

TEST_F(ReadBody, StalledServerTimesOutAtTheLimit) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.stallAfter = 4000;
    m_server.Route("/stall", response);
    const BYTE* data = nullptr;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(-16, Fetch("/stall", &data, 1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(nullptr, m_http.RequestHandle());
    EXPECT_EQ(-16, m_http.LastStatus());
}

TEST_F(ReadText, NamedCharsetIsParsedAndDecoded) {
    // "中文" in GBK.
    m_server.Route("/gbk", HttpResponse::Text("\xD6\xD0\xCE\xC4", "text/plain; Charset=GBK"));
    ASSERT_EQ(200, m_http.SendGet(Url("/gbk").c_str()));
    LPCWSTR text = nullptr;
    ASSERT_EQ(2, m_http.ReadText(&text));
    EXPECT_EQ(u"\u4E2D\u6587", std::u16string(text));
    EXPECT_EQ(u"text/plain", std::u16string(m_http.ContentType()));
    EXPECT_EQ(u"gbk", std::u16string(m_http.Charset()));
}

TEST_F(ReadText, ByteOrderMarksAndUtf8AreDetected) {
    m_server.Route("/be", HttpResponse::Text(std::string("\xFE\xFF\x41\x00\x42\x00", 6), "text/plain"));
    m_server.Route("/utf8", HttpResponse::Text("caf\xC3\xA9", "text/html"));
    m_server.Route("/latin", HttpResponse::Text("caf\xE9", "text/html"));
    m_server.Route("/bom8", HttpResponse::Text("\xEF\xBB\xBFok", "text/html"));
    const std::pair<const char*, std::u16string> cases[] = {
        {"/be", u"AB"}, {"/utf8", u"caf\u00E9"}, {"/latin", u"caf\u00E9"}, {"/bom8", u"ok"}};
    for (const auto& [path, expected] : cases) {
        ASSERT_EQ(200, m_http.SendGet(Url(path).c_str())) << path;
        LPCWSTR text = nullptr;
        EXPECT_EQ(static_cast<int>(expected.size()), m_http.ReadText(&text)) << path;
        EXPECT_EQ(expected, std::u16string(text)) << path;
        EXPECT_EQ(u"", std::u16string(m_http.Charset())) << path;
    }
}

TEST_F(ReadText, OddLengthUtf16EndsWithWholeZeroCharacter) {
    m_server.Route("/odd", HttpResponse::Text(std::string("\x41\x00\x42\x00\x43", 5), "text/plain; charset=utf-16"));
    ASSERT_EQ(200, m_http.SendGet(Url("/odd").c_str()));
    LPCWSTR text = nullptr;
    ASSERT_EQ(2, m_http.ReadText(&text));
    EXPECT_EQ(u'A', text[0]);
    EXPECT_EQ(u'B', text[1]);
    EXPECT_EQ(u'\0', text[2]);
    LPCWSTR again = nullptr;
    EXPECT_EQ(2, m_http.ReadText(&again));
    EXPECT_EQ(text, again);
}

TEST_F(CloseRequest, FromSecondThreadEndsStalledRead) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.stallAfter = 3000;
    m_server.Route("/stall", response);
    struct Shared {
        COrviHttp* http;
        std::u16string url;
        HANDLE sent;
        int status = 0;
        int read = 0;
    } shared{&m_http, Url("/stall"), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* s = static_cast<Shared*>(parameter);
            s->status = s->http->SendGet(s->url.c_str());
            SetEvent(s->sent);
            const BYTE* data = nullptr;
            s->read = s->http->ReadBody(&data, 60, 0);
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shared.sent, 10000));
    Sleep(300);  // let the reader reach its pending read
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(200, m_http.CloseRequest());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 3000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(200, shared.status);
    EXPECT_EQ(-1, shared.read);
    EXPECT_EQ(3, m_http.LastStatus());
    CloseHandle(thread);
    CloseHandle(shared.sent);
}

TEST_F(CloseRequest, FreesBodiesAndThePrivateHeapWithThem) {
    m_server.Route("/page", HttpResponse::Text(std::string(5000, 'x')));
    const BYTE* data = nullptr;
    ASSERT_EQ(5000, Fetch("/page", &data));
    EXPECT_TRUE(CHttpHeap::Exists());
    EXPECT_GE(CHttpHeap::AllocatedBytes(), 5002u);
    EXPECT_EQ(200, m_http.CloseRequest());
    EXPECT_EQ(u"", std::u16string(m_http.ContentType()));
    EXPECT_FALSE(CHttpHeap::Exists());
    EXPECT_EQ(0u, CHttpHeap::AllocatedBytes());
}

}  // namespace
