// URL requests: redirects and the final URL, schemes, refused connections
// and synchronous mode.
#include <gtest/gtest.h>

#include "InetTestSupport.h"

using namespace orvi::test;

namespace {

class InternetOpenUrlW : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
    AsyncSession m_inet;
};

std::u16string FinalUrl(HINTERNET request) {
    WCHAR url[512];
    DWORD size = sizeof url;
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url, &size))
        return u"<error>";
    return url;
}

}  // namespace

TEST_F(InternetOpenUrlW, FollowsRedirectsAndReportsTheFinalUrl) {
    m_server.Route("/old", HttpResponse::Redirect(302, "/mid"));
    m_server.Route("/mid", HttpResponse::Redirect(301, m_server.Url("/new")));
    m_server.Route("/new", HttpResponse::Text("moved here"));
    StatusEvent done{};
    HINTERNET request = m_inet.OpenUrl(m_server.Url("/old"), &done);
    ASSERT_NE(request, nullptr) << done.error;
    EXPECT_EQ(done.error, 0u);
    // The handle is announced before its completion.
    auto events = m_inet.Recorder().Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().status, DWORD(INTERNET_STATUS_HANDLE_CREATED));
    EXPECT_EQ(events.front().result, reinterpret_cast<DWORD_PTR>(request));
    EXPECT_EQ(FinalUrl(request), Wide(m_server.Url("/new")));
    std::string body;
    EXPECT_TRUE(m_inet.ReadAll(request, body));
    EXPECT_EQ(body, "moved here");
    EXPECT_EQ(m_server.RequestCount(), 3u);

    WCHAR tiny[4];
    DWORD size = sizeof tiny;
    EXPECT_FALSE(InternetQueryOptionW(request, INTERNET_OPTION_URL, tiny, &size));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, (m_server.Url("/new").size() + 1) * sizeof(WCHAR));
}

TEST_F(InternetOpenUrlW, UnknownSchemesAndBadUrlsFailAtOnce) {
    m_server.Route("/", HttpResponse::Text("x"));
    const char16_t* bad[] = {u"ftp://127.0.0.1/file", u"/relative/path", u"nonsense"};
    for (const char16_t* url : bad) {
        SetLastError(0);
        EXPECT_EQ(::InternetOpenUrlW(m_inet.Session(), url, nullptr, 0, 0, 0), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    }
    EXPECT_EQ(::InternetOpenUrlW(m_inet.Session(), u"http://127.0.0.1:99999/", nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INVALID_URL));
    EXPECT_EQ(m_server.RequestCount(), 0u);
}

TEST_F(InternetOpenUrlW, RefusedConnectionCompletesWithoutAHandle) {
    std::string url = m_server.Url("/gone");
    m_server.Stop();
    StatusEvent done{};
    EXPECT_EQ(m_inet.OpenUrl(url, &done), nullptr);
    EXPECT_EQ(done.status, DWORD(INTERNET_STATUS_REQUEST_COMPLETE));
    EXPECT_EQ(done.error, DWORD(ERROR_INTERNET_CANNOT_CONNECT));

    // Synchronous mode answers in the call itself.
    HINTERNET sync = InternetOpenW(u"sync", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(sync, nullptr);
    std::u16string wide = Wide(url);
    EXPECT_EQ(::InternetOpenUrlW(sync, wide.c_str(), nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_CANNOT_CONNECT));
    SetLastError(0);
    EXPECT_EQ(::InternetOpenUrlW(sync, u"http://name.invalid/", nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_NAME_NOT_RESOLVED));
    EXPECT_TRUE(InternetCloseHandle(sync));
}

TEST_F(InternetOpenUrlW, SynchronousSessionReturnsHandleAndBlockingReads) {
    m_server.Route("/s", HttpResponse::Text("sync body"));
    HINTERNET sync = InternetOpenW(u"sync", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    std::u16string url = Wide(m_server.Url("/s"));
    HINTERNET request = ::InternetOpenUrlW(sync, url.c_str(), u"X-Extra: 1\n", DWORD(-1), 0, 0);
    ASSERT_NE(request, nullptr) << GetLastError();
    char text[64];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(request, text, sizeof text, &read));
    EXPECT_EQ(std::string(text, read), "sync body");
    ASSERT_TRUE(InternetReadFile(request, text, sizeof text, &read));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(m_server.Requests().at(0).Header("X-Extra"), "1");
    EXPECT_TRUE(InternetCloseHandle(sync));
}

TEST_F(InternetOpenUrlW, ProxySettingSendsTheRequestToTheProxy) {
    m_server.Route("/p", HttpResponse::Text("direct"));
    std::u16string proxy = u"127.0.0.1:" + Wide(std::to_string(m_server.Port()));
    INTERNET_PROXY_INFO info{INTERNET_OPEN_TYPE_PROXY, proxy.c_str(), u"<local>"};
    ASSERT_TRUE(InternetSetOptionW(m_inet.Session(), INTERNET_OPTION_PROXY, &info, sizeof info));
    HINTERNET viaProxy = m_inet.OpenUrl("http://station.example/stream");
    ASSERT_NE(viaProxy, nullptr);
    HINTERNET bypassed = m_inet.OpenUrl(m_server.Url("/p"));
    ASSERT_NE(bypassed, nullptr);
    auto seen = m_server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].target, "http://station.example/stream");
    EXPECT_EQ(seen[1].target, "http://" + m_server.Url("/p").substr(7));

    INTERNET_PROXY_INFO direct{INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr};
    ASSERT_TRUE(InternetSetOptionW(m_inet.Session(), INTERNET_OPTION_PROXY, &direct, sizeof direct));
    ASSERT_NE(m_inet.OpenUrl(m_server.Url("/p")), nullptr);
    EXPECT_EQ(m_server.Requests().back().target, "/p");
    EXPECT_FALSE(InternetSetOptionW(m_inet.Session(), INTERNET_OPTION_PROXY, &direct, 4));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_BAD_OPTION_LENGTH));
}
