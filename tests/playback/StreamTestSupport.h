// Shared pieces of the stream source tests: streams destroyed the way their
// owners must, reads until an end, and the local server.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "CHttpStreamBuffer.h"
#include "CInputProtocol.h"
#include "CStreamRing.h"
#include "LogTestSupport.h"
#include "TestHttpServer.h"
#include "TestSupport.h"

namespace orvi::test {

using namespace std::chrono_literals;

constexpr UINT kForeignMessage = WM_USER + 786;  // the decode thread's own range

struct StreamDeleter {
    void operator()(CHttpStream* pStream) const { CHttpStream::Destroy(pStream); }
};
template <class T = CHttpStream>
using StreamPtr = std::unique_ptr<T, StreamDeleter>;

template <class F>
std::chrono::steady_clock::duration Took(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - start;
}

// Calls read(buffer, n) for at most `chunk` bytes at a time until `count`
// bytes are in or a read gives 0 or less; *pLast gets the last result.
template <class F>
std::string ReadWith(F&& read, size_t count, int chunk, int* pLast = nullptr) {
    std::string data;
    std::vector<BYTE> buffer(static_cast<size_t>(chunk));
    int got = 0;
    while (data.size() < count &&
           (got = read(buffer.data(), static_cast<int>(std::min<size_t>(buffer.size(), count - data.size())))) > 0)
        data.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(got));
    if (pLast)
        *pLast = got;
    return data;
}

inline std::string ReadAll(CHttpStream& stream, size_t count, int chunk = 8192, int* pLast = nullptr,
                           DWORD limitMs = 20000) {
    return ReadWith([&](BYTE* p, int n) { return stream.Read(p, n, limitMs); }, count, chunk, pLast);
}

// In pieces of at most what FFmpeg asks for at once.
inline std::string ReadAll(CInputProtocol& input, size_t count, int* pLast = nullptr) {
    return ReadWith([&](BYTE* p, int n) { return input.Read(p, n); }, count, 32768, pLast);
}

class StreamServerTest : public DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    std::string MmsUrl(const std::string& path) const { return "mms://" + m_server.Url(path).substr(7); }
    StreamPtr<> Connected(const std::string& path, int expected = 0) {
        StreamPtr<> stream(new CHttpStreamBuffer);
        EXPECT_EQ(expected, stream->Connect(Url(path).c_str(), 10000)) << path;
        return stream;
    }
    std::unique_ptr<CInputProtocol> OpenInput(const std::string& url, int expectedError = 0) {
        int error = 12345;
        std::unique_ptr<CInputProtocol> input(CInputProtocol::Open(url.c_str(), &error));
        EXPECT_EQ(expectedError, error) << url;
        EXPECT_EQ(expectedError == 0, input != nullptr) << url;
        return input;
    }
    // Connect and Detect, as the "http" protocol does.
    StreamPtr<> OpenDetected(const std::string& path) { return StreamPtr<>(Connected(path).release()->Detect()); }
    // Serves `response` at `path` once `adjust` has changed it.
    void RouteWith(const std::string& path, HttpResponse response, const std::function<void(HttpResponse&)>& adjust) {
        adjust(response);
        m_server.Route(path, response);
    }

    TestHttpServer m_server;
};

}  // namespace orvi::test
