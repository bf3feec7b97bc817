// Shared pieces of the stream source tests: an engine that records the
// titles it is given, streams owned by a smart pointer that destroys them
// the way their owners must, and a platform thread (with its own message
// queue) to read on or to cancel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CHttpStreamBuffer.h"
#include "LogTestSupport.h"
#include "TestHttpServer.h"
#include "TestSupport.h"

namespace orvi::test {

class RecordingStreamEngine : public IStreamEngine {
public:
    void SetStreamTitle(LPCWSTR pszTitle) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_titles.emplace_back(pszTitle);
        m_threads.push_back(GetCurrentThreadId());
    }
    std::vector<std::u16string> Titles() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_titles;
    }
    std::vector<DWORD> Threads() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::u16string> m_titles;
    std::vector<DWORD> m_threads;
};

struct StreamDeleter {
    void operator()(CHttpStream* pStream) const { CHttpStream::Destroy(pStream); }
};
template <class T = CHttpStream>
using StreamPtr = std::unique_ptr<T, StreamDeleter>;

// Runs a function on a thread of the platform, which owns a message queue
// from its first instruction (so it can be posted to at once).
class StreamThread {
public:
    explicit StreamThread(std::function<void()> body) : m_body(std::move(body)) {
        m_hThread = CreateThread(nullptr, 0, &StreamThread::Main, this, 0, &m_dwId);
        EXPECT_NE(nullptr, m_hThread);
    }
    ~StreamThread() {
        Join(60000);
        if (m_hThread)
            CloseHandle(m_hThread);
    }
    StreamThread(const StreamThread&) = delete;
    StreamThread& operator=(const StreamThread&) = delete;

    DWORD Id() const { return m_dwId; }
    bool Join(DWORD ms) { return m_hThread && WaitForSingleObject(m_hThread, ms) == WAIT_OBJECT_0; }

private:
    static DWORD Main(LPVOID p) {
        static_cast<StreamThread*>(p)->m_body();
        return 0;
    }
    std::function<void()> m_body;
    HANDLE m_hThread = nullptr;
    DWORD m_dwId = 0;
};

// Reads until `count` bytes are in, the stream ends or fails.
inline std::string ReadAll(CHttpStream& stream, size_t count, int chunk = 8192, DWORD limitMs = 20000) {
    std::string data;
    std::vector<BYTE> buffer(static_cast<size_t>(chunk));
    while (data.size() < count) {
        const int want = static_cast<int>(std::min<size_t>(buffer.size(), count - data.size()));
        const int got = stream.Read(buffer.data(), want, limitMs);
        if (got <= 0)
            break;
        data.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(got));
    }
    return data;
}

// A test with a device root of its own and a running local server.
class StreamServerTest : public DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    // Connect and Detect, as the "http" protocol does.
    StreamPtr<> OpenDetected(const std::string& path, DWORD limitMs = 10000) {
        CHttpStream* pStream = new CHttpStreamBuffer;
        EXPECT_EQ(0, pStream->Connect(Url(path).c_str(), limitMs));
        return StreamPtr<>(pStream->Detect());
    }

    TestHttpServer m_server;
};

}  // namespace orvi::test
