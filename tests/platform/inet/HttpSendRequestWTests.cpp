// Asynchronous requests through InternetConnectW / HttpOpenRequestW /
// HttpSendRequestW: the callback sequence and what reaches the server.
#include <gtest/gtest.h>

#include "InetTestSupport.h"

using namespace orvi::test;

namespace {

class HttpSendRequestW : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
    AsyncSession m_inet;
};

}  // namespace

TEST_F(HttpSendRequestW, AsyncGetReportsHandlesResponseAndCompletion) {
    m_server.Route("/page", HttpResponse::Text("hello"));
    StatusRecorder& recorder = m_inet.Recorder();
    HINTERNET connect = InternetConnectW(m_inet.Session(), u"127.0.0.1", m_server.Port(), nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, recorder.Context());
    ASSERT_NE(connect, nullptr);
    StatusEvent created;
    ASSERT_TRUE(recorder.Next(INTERNET_STATUS_HANDLE_CREATED, connect, &created));
    EXPECT_EQ(created.result, reinterpret_cast<DWORD_PTR>(connect));

    HINTERNET request = HttpOpenRequestW(connect, u"GET", u"/page", u"HTTP/1.1", nullptr, nullptr,
                                         0x84400000u, recorder.Context());
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(recorder.Next(INTERNET_STATUS_HANDLE_CREATED, request, &created));
    EXPECT_EQ(created.result, reinterpret_cast<DWORD_PTR>(request));

    // Extra headers separated by a bare LF and by CR LF.
    const char16_t* headers = u"X-One: 1\nX-Two: 2\r\nX-Three: 3";
    ASSERT_TRUE(HttpAddRequestHeadersW(request, headers, DWORD(-1), HTTP_ADDREQ_FLAG_ADD));
    SetLastError(0);
    EXPECT_FALSE(::HttpSendRequestW(request, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
    StatusEvent received, done;
    ASSERT_TRUE(recorder.Next(INTERNET_STATUS_RESPONSE_RECEIVED, request, &received));
    EXPECT_GT(received.result, 0u);
    ASSERT_TRUE(recorder.Next(INTERNET_STATUS_REQUEST_COMPLETE, request, &done));
    EXPECT_EQ(done.result, DWORD_PTR(TRUE));
    EXPECT_EQ(done.error, 0u);

    std::string body;
    EXPECT_TRUE(m_inet.ReadAll(request, body));
    EXPECT_EQ(body, "hello");
    auto seen = m_server.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].target, "/page");
    EXPECT_EQ(seen[0].Header("User-Agent"), "InetTests/1.0");
    EXPECT_EQ(seen[0].Header("X-One"), "1");
    EXPECT_EQ(seen[0].Header("X-Two"), "2");
    EXPECT_EQ(seen[0].Header("X-Three"), "3");
}

TEST_F(HttpSendRequestW, PathsAndQueriesArePercentEncodedAsUtf8) {
    m_server.Route("/search", HttpResponse::Text("ok"));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/search?q=a b&x=\u00e9\u4e2d&t=%41\t");
    ASSERT_NE(request, nullptr);
    HINTERNET url = m_inet.OpenUrl(m_server.Url("/search") + "?q=c d");
    ASSERT_NE(url, nullptr);
    auto seen = m_server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].target, "/search?q=a%20b&x=%C3%A9%E4%B8%AD&t=%41%09");
    EXPECT_EQ(seen[1].target, "/search?q=c%20d");
}

TEST_F(HttpSendRequestW, HeadersCanBeReplacedOrAddedOnlyWhenNew) {
    m_server.Route("/h", HttpResponse::Text("ok"));
    HINTERNET connect = InternetConnectW(m_inet.Session(), u"127.0.0.1", m_server.Port(), nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestW(connect, nullptr, u"/h", nullptr, nullptr, nullptr, 0,
                                         m_inet.Recorder().Context());
    ASSERT_NE(request, nullptr);
    EXPECT_TRUE(HttpAddRequestHeadersW(request, u"X-A: old", DWORD(-1), HTTP_ADDREQ_FLAG_ADD));
    EXPECT_FALSE(HttpAddRequestHeadersW(request, u"X-A: again", DWORD(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_ALREADY_EXISTS));
    EXPECT_TRUE(HttpAddRequestHeadersW(request, u"X-A: new", DWORD(-1), HTTP_ADDREQ_FLAG_REPLACE));
    EXPECT_FALSE(HttpAddRequestHeadersW(request, u"\r\n", DWORD(-1), HTTP_ADDREQ_FLAG_ADD));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    ::HttpSendRequestW(request, nullptr, 0, nullptr, 0);
    ASSERT_TRUE(m_inet.Recorder().Next(INTERNET_STATUS_REQUEST_COMPLETE, request));
    ASSERT_EQ(m_server.Requests().size(), 1u);
    EXPECT_EQ(m_server.Requests()[0].Header("X-A"), "new");
}

TEST_F(HttpSendRequestW, RefusedConnectionCompletesWithCannotConnect) {
    std::uint16_t port = m_server.Port();
    m_server.Stop();
    HINTERNET connect = InternetConnectW(m_inet.Session(), u"127.0.0.1", port, nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestW(connect, u"GET", u"/", nullptr, nullptr, nullptr, 0,
                                         m_inet.Recorder().Context());
    EXPECT_FALSE(::HttpSendRequestW(request, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
    StatusEvent done;
    ASSERT_TRUE(m_inet.Recorder().Next(INTERNET_STATUS_REQUEST_COMPLETE, request, &done));
    EXPECT_EQ(done.result, DWORD_PTR(FALSE));
    EXPECT_EQ(done.error, DWORD(ERROR_INTERNET_CANNOT_CONNECT));
    DWORD status = 0, size = sizeof status;
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
}
