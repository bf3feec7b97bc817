// Response facts through HttpQueryInfoW / HttpQueryInfoA.
#include <gtest/gtest.h>

#include <cstring>

#include "InetTestSupport.h"

using namespace orvi::test;

namespace {

class HttpQueryInfoW : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
    AsyncSession m_inet;
};

std::u16string QueryText(HINTERNET request, DWORD level) {
    WCHAR text[512] = {};
    DWORD size = sizeof text;
    if (!::HttpQueryInfoW(request, level, text, &size, nullptr))
        return u"<error>";
    return std::u16string(text, size / sizeof(WCHAR));
}

}  // namespace

TEST_F(HttpQueryInfoW, ReportsStatusLengthTypeAndLastModified) {
    // 2009-02-13 23:31:30 UTC, a Friday.
    m_server.Route("/doc", HttpResponse::Text("0123456789", "text/plain; Charset=GBK").LastModified(1234567890));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/doc");
    ASSERT_NE(request, nullptr);

    DWORD number = 0, size = sizeof number;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr));
    EXPECT_EQ(number, 200u);
    EXPECT_EQ(size, sizeof(DWORD));
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr));
    EXPECT_EQ(number, 10u);
    EXPECT_EQ(QueryText(request, HTTP_QUERY_CONTENT_TYPE), u"text/plain; Charset=GBK");

    SYSTEMTIME time{};
    size = sizeof time;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time, &size, nullptr));
    EXPECT_EQ(time.wYear, 2009);
    EXPECT_EQ(time.wMonth, 2);
    EXPECT_EQ(time.wDay, 13);
    EXPECT_EQ(time.wDayOfWeek, 5);
    EXPECT_EQ(time.wHour, 23);
    EXPECT_EQ(time.wMinute, 31);
    EXPECT_EQ(time.wSecond, 30);

    char narrow[64] = {};
    size = sizeof narrow;
    ASSERT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_TYPE, narrow, &size, nullptr));
    EXPECT_EQ(std::string(narrow, size), "text/plain; Charset=GBK");
    EXPECT_EQ(narrow[size], '\0');
}

TEST_F(HttpQueryInfoW, SmallBufferAndMissingHeaderFail) {
    m_server.Route("/doc", HttpResponse::Text("x", "text/html"));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/doc");
    ASSERT_NE(request, nullptr);
    WCHAR text[4];
    DWORD size = sizeof text;
    EXPECT_FALSE(::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, text, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, (std::strlen("text/html") + 1) * sizeof(WCHAR));
    size = 0;
    EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_TYPE, nullptr, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, std::strlen("text/html") + 1);

    SYSTEMTIME time;
    size = sizeof time;
    EXPECT_FALSE(::HttpQueryInfoW(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_NOT_FOUND));
    EXPECT_EQ(QueryText(request, HTTP_QUERY_CONTENT_RANGE), u"<error>");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_NOT_FOUND));

    WCHAR custom[64] = u"Content-Type";
    size = sizeof custom;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, custom, &size, nullptr));
    EXPECT_EQ(std::u16string(custom), u"text/html");
}

TEST_F(HttpQueryInfoW, UnauthorizedResponseKeepsItsChallenge) {
    m_server.Route("/secret", HttpResponse::Unauthorized("Basic realm=\"x\""));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/secret");
    ASSERT_NE(request, nullptr);
    DWORD status = 0, size = sizeof status;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(status, 401u);
    WCHAR challenge[32];  // the 64 bytes a client asks for
    size = sizeof challenge;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_WWW_AUTHENTICATE, challenge, &size, nullptr));
    EXPECT_EQ(std::u16string(challenge), u"Basic realm=\"x\"");
}

TEST_F(HttpQueryInfoW, RangesAndRawHeadersOfIcyResponse) {
    HttpResponse icy;
    icy.statusLine = "ICY 200 OK";
    icy.Header("icy-name", "Station").Header("icy-metaint", "8192");
    icy.body = "audio";
    icy.framing = Framing::CloseDelimited;
    m_server.Route("/icy", icy);
    HINTERNET request = m_inet.Get(m_server.Port(), u"/icy");
    ASSERT_NE(request, nullptr);
    DWORD status = 0, size = sizeof status;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(status, 200u);
    char raw[1024] = {};
    size = sizeof raw;
    ASSERT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw, &size, nullptr));
    std::string head(raw, size);
    EXPECT_EQ(head.rfind("ICY 200 OK\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nicy-metaint: 8192\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
    std::string body;
    EXPECT_TRUE(m_inet.ReadAll(request, body));
    EXPECT_EQ(body, "audio");

    HttpResponse ranged = HttpResponse::Pattern(1000);
    ranged.acceptRanges = true;
    m_server.Route("/ranged", ranged);
    request = m_inet.Get(m_server.Port(), u"/ranged", u"Range: bytes=100-");
    ASSERT_NE(request, nullptr);
    size = sizeof status;
    ASSERT_TRUE(::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(status, 206u);
    EXPECT_EQ(QueryText(request, HTTP_QUERY_CONTENT_RANGE), u"bytes 100-999/1000");
    EXPECT_EQ(QueryText(request, HTTP_QUERY_ACCEPT_RANGES), u"bytes");
}
