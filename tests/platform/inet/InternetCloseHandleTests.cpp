// Closing handles: cancelling a stalled read from another thread, closing
// a tree, and handles that are no longer valid.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "InetTestSupport.h"

using namespace orvi::test;

namespace {

class InternetCloseHandle : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    TestHttpServer m_server;
    AsyncSession m_inet;
};

size_t IndexOf(const std::vector<StatusEvent>& events, DWORD status, HINTERNET handle) {
    auto it = std::find_if(events.begin(), events.end(), [&](const StatusEvent& e) {
        return e.status == status && e.handle == handle;
    });
    return static_cast<size_t>(it - events.begin());
}

}  // namespace

TEST_F(InternetCloseHandle, CancelsAStalledReadFromAnotherThread) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.stallAfter = 1000;
    m_server.Route("/stall", response);
    HINTERNET request = m_inet.Get(m_server.Port(), u"/stall");
    ASSERT_NE(request, nullptr);
    std::vector<char> buffer(4096);
    DWORD got = 0;
    while (got < 1000) {
        DWORD read = 0;
        if (!::InternetReadFile(request, buffer.data(), 4096, &read)) {
            ASSERT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
            ASSERT_TRUE(m_inet.Recorder().Next(INTERNET_STATUS_REQUEST_COMPLETE, request));
        }
        got += read;
    }
    // Nothing is buffered: IRF_NO_WAIT answers at once with no bytes.
    INTERNET_BUFFERSA noWait{};
    noWait.dwStructSize = sizeof noWait;
    noWait.lpvBuffer = buffer.data();
    noWait.dwBufferLength = 4096;
    EXPECT_TRUE(InternetReadFileExA(request, &noWait, IRF_NO_WAIT, 0));
    EXPECT_EQ(noWait.dwBufferLength, 0u);

    DWORD read = 12345;
    ASSERT_FALSE(::InternetReadFile(request, buffer.data(), 4096, &read));
    ASSERT_EQ(GetLastError(), DWORD(ERROR_IO_PENDING));
    read = 777;  // owned by the pending read until it completes or is cancelled

    auto start = std::chrono::steady_clock::now();
    BOOL closed = FALSE;
    std::thread closer([&] { closed = ::InternetCloseHandle(request); });
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(read, 777u);  // a cancelled read writes nothing

    auto events = m_inet.Recorder().Events();
    size_t cancelled = events.size();
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].handle == request && events[i].status == INTERNET_STATUS_REQUEST_COMPLETE)
            cancelled = i;  // the last completion
    }
    size_t closing = IndexOf(events, INTERNET_STATUS_HANDLE_CLOSING, request);
    ASSERT_LT(cancelled, events.size());
    ASSERT_LT(closing, events.size());
    EXPECT_LT(cancelled, closing);
    EXPECT_EQ(events[cancelled].error, DWORD(ERROR_INTERNET_OPERATION_CANCELLED));
    EXPECT_EQ(events.back().status, DWORD(INTERNET_STATUS_HANDLE_CLOSING));

    EXPECT_FALSE(::InternetReadFile(request, buffer.data(), 1, &read));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(::InternetCloseHandle(request));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(m_server.WaitForNoConnections(std::chrono::seconds(5)));
}

TEST_F(InternetCloseHandle, ClosingTheSessionClosesItsChildrenFirst) {
    m_server.Route("/a", HttpResponse::Text("a"));
    HINTERNET request = m_inet.Get(m_server.Port(), u"/a");
    ASSERT_NE(request, nullptr);
    HINTERNET session = m_inet.Session();
    HINTERNET connect = m_inet.Recorder().Events().front().handle;
    ASSERT_TRUE(::InternetCloseHandle(session));
    auto events = m_inet.Recorder().Events();
    size_t requestClosing = IndexOf(events, INTERNET_STATUS_HANDLE_CLOSING, request);
    size_t connectClosing = IndexOf(events, INTERNET_STATUS_HANDLE_CLOSING, connect);
    ASSERT_LT(connectClosing, events.size());
    EXPECT_LT(requestClosing, connectClosing);
    DWORD status, size = sizeof status;
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(InternetConnectW(session, u"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

namespace {

// Reads a body entirely from inside status callbacks, then closes the
// request from its own callback.
struct CallbackReader {
    static void CALLBACK Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
        auto* self = reinterpret_cast<CallbackReader*>(context);
        if (!self)
            return;
        if (status == INTERNET_STATUS_HANDLE_CLOSING && handle == self->request) {
            std::lock_guard guard(self->lock);
            self->closed = true;
            self->changed.notify_all();
            return;
        }
        if (status != INTERNET_STATUS_REQUEST_COMPLETE || handle != self->request)
            return;
        if (!static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult)
            return;
        self->Consume();
    }
    void Consume() {
        // dwBufferLength holds the bytes of the read that just completed.
        if (started && buffers.dwBufferLength == 0) {
            Close();
            return;
        }
        if (started)
            body.append(chunk, buffers.dwBufferLength);
        started = true;
        for (;;) {
            buffers = INTERNET_BUFFERSA{};
            buffers.dwStructSize = sizeof buffers;
            buffers.lpvBuffer = chunk;
            buffers.dwBufferLength = sizeof chunk;
            if (!InternetReadFileExA(request, &buffers, IRF_ASYNC, 0))
                return;  // pending: the next completion continues
            if (buffers.dwBufferLength == 0) {
                Close();
                return;
            }
            body.append(chunk, buffers.dwBufferLength);
        }
    }
    void Close() {
        BOOL result = ::InternetCloseHandle(request);
        std::lock_guard guard(lock);
        closeResult = result;
        finished = true;
        changed.notify_all();
    }
    HINTERNET request = nullptr;
    INTERNET_BUFFERSA buffers{};
    char chunk[1000];
    bool started = false;
    std::string body;
    BOOL closeResult = FALSE;
    std::mutex lock;
    std::condition_variable changed;
    bool closed = false;
    bool finished = false;
};

}  // namespace

TEST_F(InternetCloseHandle, CallbackMayReadAndCloseFromTheNetworkThread) {
    HttpResponse response = HttpResponse::Pattern(20000);
    response.bytesPerSecond = 200000;
    m_server.Route("/cb", response);
    CallbackReader reader;
    HINTERNET session = InternetOpenW(u"cb", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallbackW(session, &CallbackReader::Callback);
    auto context = reinterpret_cast<DWORD_PTR>(&reader);
    HINTERNET connect = InternetConnectW(session, u"127.0.0.1", m_server.Port(), nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, context);
    {
        std::lock_guard guard(reader.lock);
        reader.request = HttpOpenRequestW(connect, u"GET", u"/cb", nullptr, nullptr, nullptr, 0, context);
    }
    EXPECT_FALSE(HttpSendRequestW(reader.request, nullptr, 0, nullptr, 0));
    {
        std::unique_lock guard(reader.lock);
        ASSERT_TRUE(reader.changed.wait_for(guard, std::chrono::seconds(10), [&] { return reader.closed && reader.finished; }));
    }
    EXPECT_TRUE(reader.closeResult);
    EXPECT_TRUE(reader.body == PatternBytes(0, 20000)) << reader.body.size();
    EXPECT_TRUE(::InternetCloseHandle(session));
}

TEST_F(InternetCloseHandle, WrongHandlesAreRefused) {
    auto bogus = reinterpret_cast<HINTERNET>(0x4321);
    EXPECT_FALSE(::InternetCloseHandle(bogus));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(::InternetCloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(InternetSetStatusCallbackW(bogus, &StatusRecorder::Callback), INTERNET_INVALID_STATUS_CALLBACK);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(InternetConnectW(bogus, u"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(HttpOpenRequestW(m_inet.Session(), u"GET", u"/", nullptr, nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    EXPECT_FALSE(HttpSendRequestW(m_inet.Session(), nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    EXPECT_EQ(InternetOpenW(u"x", 2, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InternetOpenW(u"x", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // The previous callback comes back.
    EXPECT_EQ(InternetSetStatusCallbackW(m_inet.Session(), nullptr), &StatusRecorder::Callback);
    EXPECT_EQ(InternetSetStatusCallbackW(m_inet.Session(), &StatusRecorder::Callback), nullptr);
}
