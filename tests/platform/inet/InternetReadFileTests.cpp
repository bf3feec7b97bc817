// Reading bodies: framings, in-band ICY headers, cut bodies and streaming
// of a long body without buffering it whole.
#include <gtest/gtest.h>

#include <thread>

#include "InetTestSupport.h"
#include "inet/HttpTransfer.h"
#include "inet/internal.h"

using namespace orvi::test;

namespace {

class InternetReadFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
    AsyncSession m_inet;
};

size_t BufferedBytes(HINTERNET handle) {
    orvi::inet::InetGuard guard(orvi::inet::InetLock());
    auto request = orvi::inet::FindHandleAs<orvi::inet::InetRequest>(handle, orvi::inet::InetKind::Request);
    return request ? request->Buffered() : 0;
}

}  // namespace

TEST_F(InternetReadFile, ChunkedAndCloseDelimitedBodiesArriveWhole) {
    for (Framing framing : {Framing::Chunked, Framing::CloseDelimited}) {
        HttpResponse response = HttpResponse::Pattern(300000);
        response.framing = framing;
        response.chunkSize = 7000;
        m_server.Route("/body", response);
        HINTERNET request = m_inet.Get(m_server.Port(), u"/body");
        ASSERT_NE(request, nullptr);
        DWORD length = 0, size = sizeof length;
        EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_NOT_FOUND));
        std::string body;
        EXPECT_TRUE(m_inet.ReadAll(request, body));
        EXPECT_TRUE(body == PatternBytes(0, 300000)) << "framing " << int(framing) << ", " << body.size() << " bytes";
        // The end stays the end.
        DWORD read = 1;
        char byte;
        EXPECT_TRUE(::InternetReadFile(request, &byte, 1, &read));
        EXPECT_EQ(read, 0u);
    }
}

TEST_F(InternetReadFile, IcyHeadersInsideTheBodyAreBodyBytes) {
    std::string inBody = "ICY 200 OK\r\nicy-metaint: 16\r\n\r\nmp3-data";
    m_server.Route("/inband", HttpResponse::Text(inBody, "audio/mpeg"));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/inband");
    ASSERT_NE(request, nullptr);
    std::string body;
    EXPECT_TRUE(m_inet.ReadAll(request, body));
    EXPECT_EQ(body, inBody);
    WCHAR metaint[16] = u"icy-metaint";
    DWORD size = sizeof metaint;
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, metaint, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_HTTP_HEADER_NOT_FOUND));
}

TEST_F(InternetReadFile, BodyCutShortFailsTheReadInsteadOfEnding) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.cutAfter = 40000;
    m_server.Route("/cut", response);
    HINTERNET request = m_inet.Get(m_server.Port(), u"/cut");
    ASSERT_NE(request, nullptr);
    std::string body;
    DWORD error = 0;
    EXPECT_FALSE(m_inet.ReadAll(request, body, &error));
    EXPECT_EQ(error, DWORD(ERROR_INTERNET_CONNECTION_RESET));
    EXPECT_TRUE(body == PatternBytes(0, 40000)) << body.size();
    char byte;
    DWORD read = 1;
    EXPECT_FALSE(::InternetReadFile(request, &byte, 1, &read));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_CONNECTION_RESET));
    EXPECT_EQ(read, 0u);
}

TEST_F(InternetReadFile, LongBodyStreamsThroughABoundedBuffer) {
    constexpr std::uint64_t kSize = 50ull * 1024 * 1024;
    m_server.Route("/big", HttpResponse::Pattern(kSize));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/big");
    ASSERT_NE(request, nullptr);
    // A reader that does not read: the transfer pauses instead of buffering on.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(BufferedBytes(request), orvi::inet::kBufferLimit + 128 * 1024);
    EXPECT_GT(BufferedBytes(request), 0u);

    std::vector<char> chunk(64 * 1024);
    std::uint64_t total = 0;
    bool same = true;
    for (;;) {
        DWORD read = 0;
        if (!::InternetReadFile(request, chunk.data(), DWORD(chunk.size()), &read)) {
            ASSERT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
            StatusEvent done;
            ASSERT_TRUE(m_inet.Recorder().Next(INTERNET_STATUS_REQUEST_COMPLETE, request, &done));
            ASSERT_EQ(done.result, DWORD_PTR(TRUE)) << done.error;
        }
        if (read == 0)
            break;
        same = same && std::string(chunk.data(), read) == PatternBytes(total, read);
        total += read;
    }
    EXPECT_EQ(total, kSize);
    EXPECT_TRUE(same);
}

TEST_F(InternetReadFile, ReadsFailOnBadHandlesAndBeforeTheResponse) {
    char byte;
    DWORD read = 7;
    EXPECT_FALSE(::InternetReadFile(reinterpret_cast<HINTERNET>(0x1234), &byte, 1, &read));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(::InternetReadFile(m_inet.Session(), &byte, 1, &read));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    EXPECT_FALSE(::InternetReadFile(m_inet.Session(), &byte, 1, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    HINTERNET connect = InternetConnectW(m_inet.Session(), u"127.0.0.1", m_server.Port(), nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestW(connect, u"GET", u"/", nullptr, nullptr, nullptr, 0, 0);
    EXPECT_FALSE(::InternetReadFile(request, &byte, 1, &read));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_STATE));
    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof buffers - 1;
    EXPECT_FALSE(InternetReadFileExA(request, &buffers, IRF_ASYNC, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(InternetReadFile, StalledBodyFailsAfterTheReceiveTimeout) {
    HttpResponse response = HttpResponse::Pattern(10000);
    response.stallAfter = 100;
    m_server.Route("/slow", response);
    DWORD timeout = 300;
    ASSERT_TRUE(InternetSetOptionW(m_inet.Session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    DWORD stored = 0, size = sizeof stored;
    ASSERT_TRUE(InternetQueryOptionW(m_inet.Session(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stored, &size));
    EXPECT_EQ(stored, 300u);
    HINTERNET request = m_inet.Get(m_server.Port(), u"/slow");
    ASSERT_NE(request, nullptr);
    std::string body;
    DWORD error = 0;
    EXPECT_FALSE(m_inet.ReadAll(request, body, &error));
    EXPECT_EQ(error, DWORD(ERROR_INTERNET_TIMEOUT));
    EXPECT_EQ(body.size(), 100u);
    EXPECT_FALSE(InternetSetOptionW(m_inet.Session(), 9999, &timeout, sizeof timeout));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INVALID_OPTION));
}
