// CHttpStreamBuffer with its reader thread: what the consumer gets through
// the ring, how it is woken, cancelled and bounded in time, and what the
// notify window hears.
#include <gtest/gtest.h>

#include <algorithm>
#include <typeinfo>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "CPlayer.h"
#include "CStreamRing.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;

constexpr UINT kForeignMessage = WM_USER + 786;  // the decode thread's own range

class StreamBufferTest : public StreamServerTest {
protected:
    // Detected and bound as the decoder engine binds: reader started on the
    // opening thread.
    StreamPtr<> OpenStarted(const std::string& path) {
        StreamPtr<> stream = OpenDetected(path);
        stream->StartReader();
        return stream;
    }
    HttpResponse Stalled(std::uint64_t size, std::uint64_t after) {
        HttpResponse response = HttpResponse::Pattern(size);
        response.stallAfter = after;
        return response;
    }
};

// A stream whose reader can be held inside a network read (OnData runs on
// the reader thread), standing for a reader that cannot answer a stop.
class HeldStream : public CHttpStreamBuffer {
public:
    HeldStream(HANDLE hHeld, HANDLE hRelease, HANDLE hDestroyed)
        : m_hHeld(hHeld), m_hRelease(hRelease), m_hDestroyed(hDestroyed) {}
    std::atomic<bool> hold{false};

protected:
    void OnData(const BYTE*, int, DWORD) override {
        if (hold.exchange(false)) {
            SetEvent(m_hHeld);
            WaitForSingleObject(m_hRelease, 20000);
        }
    }
    ~HeldStream() override { SetEvent(m_hDestroyed); }

private:
    HANDLE m_hHeld;
    HANDLE m_hRelease;
    HANDLE m_hDestroyed;
};

using Reader = StreamBufferTest;
using ConsumerWait = StreamBufferTest;
using Lifetime = StreamBufferTest;

TEST_F(Reader, PlainDataStaysABufferAndStartsItsReaderOnce) {
    m_server.Route("/plain", HttpResponse::Pattern(50000, "audio/mpeg"));
    StreamPtr<> stream = OpenDetected("/plain");
    ASSERT_EQ(typeid(CHttpStreamBuffer), typeid(*stream));
    auto* buffer = static_cast<CHttpStreamBuffer*>(stream.get());
    EXPECT_FALSE(buffer->ReaderStarted());
    buffer->StartReader();
    buffer->StartReader();
    EXPECT_TRUE(buffer->ReaderStarted());
    EXPECT_EQ(PatternBytes(0, 50000), ReadAll(*stream, 60000, 5000));
    BYTE byte;
    EXPECT_EQ(0, stream->Read(&byte, 1, 5000));  // the end, and again
    EXPECT_EQ(0, stream->Read(&byte, 1, 5000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Reader, DeliversAPacedStreamInOrderOnTheConsumerThread) {
    HttpResponse paced = HttpResponse::Pattern(600000);
    paced.burstBytes = 40000;
    paced.bytesPerSecond = 500000;
    m_server.Route("/paced", paced);
    StreamPtr<> stream = OpenStarted("/paced");
    std::string data;
    int last = 1;
    StreamThread consumer([&] {
        data = ReadAll(*stream, 700000, 7000);
        BYTE byte;
        last = stream->Read(&byte, 1, 5000);
    });
    ASSERT_TRUE(consumer.Join(60000));
    EXPECT_EQ(600000u, data.size());
    EXPECT_TRUE(data == PatternBytes(0, 600000));
    EXPECT_EQ(0, last);
    EXPECT_EQ(600000u, stream->Position());
}

TEST_F(Reader, RefusesReadsLargerThanTheRing) {
    m_server.Route("/small", HttpResponse::Pattern(40000));
    StreamPtr<> stream = OpenStarted("/small");
    std::vector<BYTE> buffer(50000);
    ASSERT_EQ(40000u, stream->Ring()->Capacity());
    EXPECT_EQ(-1, stream->Read(buffer.data(), 40001, 1000));
    EXPECT_EQ(0, stream->Read(buffer.data(), 0, 1000));
    EXPECT_EQ(40000, stream->Read(buffer.data(), 40000, 10000));
}

TEST_F(Reader, NotifyWindowHearsTheFillLevel) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"StreamBufferNotify";
    RegisterClassW(&wc);
    HWND hWnd = CreateWindowExW(0, u"StreamBufferNotify", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hWnd);
    m_server.Route("/body", HttpResponse::Pattern(100000));
    StreamPtr<> stream(new CHttpStreamBuffer);
    ASSERT_EQ(0, stream->Connect(Url("/body").c_str(), 10000));
    stream->SetNotifyWindow(hWnd);
    StreamPtr<> detected(stream.release()->Detect());
    detected->StartReader();
    // The whole body fits the ring the content length sized, so it fills up.
    std::vector<WPARAM> percents;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while ((percents.empty() || percents.back() != 100) && std::chrono::steady_clock::now() < deadline) {
        MSG msg;
        if (PeekMessageW(&msg, hWnd, UM_DECODER_BUFFERING, UM_DECODER_BUFFERING, PM_REMOVE))
            percents.push_back(msg.wParam);
        else
            Sleep(5);
    }
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(32u, percents.front());  // the first 32768 bytes of 100000
    EXPECT_EQ(100u, percents.back());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(PatternBytes(0, 100000), ReadAll(*detected, 100000, 10000));
    detected.reset();
    DestroyWindow(hWnd);
}

TEST_F(ConsumerWait, CancelEndsABlockedReadAndLeavesOtherMessagesQueued) {
    m_server.Route("/stall", Stalled(1000000, 50000));
    StreamPtr<> stream = OpenStarted("/stall");
    HANDLE blocked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string before;
    int cancelled = 0;
    bool foreignKept = false;
    StreamThread consumer([&] {
        // With a foreign message queued, the waits sleep on their events.
        PostThreadMessageW(GetCurrentThreadId(), kForeignMessage, 9, 0);
        before = ReadAll(*stream, 50000, 10000);
        SetEvent(blocked);
        BYTE buffer[1000];
        cancelled = stream->Read(buffer, sizeof(buffer), 60000);
        MSG msg;
        foreignKept = PeekMessageW(&msg, nullptr, kForeignMessage, kForeignMessage, PM_REMOVE) && msg.wParam == 9;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(blocked, 20000));
    Sleep(200);  // let it reach its wait
    const auto start = std::chrono::steady_clock::now();
    PostThreadMessageW(consumer.Id(), UM_STREAM_CANCEL, 0, 0);
    ASSERT_TRUE(consumer.Join(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(PatternBytes(0, 50000), before);
    EXPECT_EQ(-1, cancelled);
    EXPECT_TRUE(foreignKept);
    CloseHandle(blocked);
}

TEST_F(ConsumerWait, NetworkErrorWakesTheConsumer) {
    HttpResponse cut = HttpResponse::Pattern(200000);
    cut.cutAfter = 60000;
    m_server.Route("/cut", cut);
    StreamPtr<> stream = OpenStarted("/cut");
    std::string data;
    int after = 0;
    std::chrono::steady_clock::duration took{};
    StreamThread consumer([&] {
        const auto start = std::chrono::steady_clock::now();
        data = ReadAll(*stream, 200000, 10000, 60000);
        BYTE byte;
        after = stream->Read(&byte, 1, 60000);
        took = std::chrono::steady_clock::now() - start;
    });
    ASSERT_TRUE(consumer.Join(90000));
    EXPECT_TRUE(data == PatternBytes(0, 60000)) << data.size();
    EXPECT_EQ(-1, after);
    EXPECT_LT(took, 30s);  // woken by the reader, not by the 60-second limits
}

TEST_F(ConsumerWait, TimeLimitHoldsWhileTheServerIsSilent) {
    m_server.Route("/stall", Stalled(1000000, 40000));
    StreamPtr<> stream = OpenStarted("/stall");
    ASSERT_EQ(PatternBytes(0, 40000), ReadAll(*stream, 40000, 10000));
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        BYTE buffer[100];
        EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 1000));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
}

TEST_F(ConsumerWait, DestroyWhileTheConsumerWaitsLeavesItAWayOut) {
    m_server.Route("/stall", Stalled(1000000, 40000));
    StreamPtr<> stream = OpenStarted("/stall");
    ASSERT_EQ(PatternBytes(0, 40000), ReadAll(*stream, 40000, 10000));
    CHttpStream* raw = stream.get();
    HANDLE blocked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    int result = 0;
    StreamThread consumer([&] {
        SetEvent(blocked);
        BYTE buffer[100];
        result = raw->Read(buffer, sizeof(buffer), 60000);
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(blocked, 10000));
    Sleep(200);
    const auto start = std::chrono::steady_clock::now();
    stream.reset();
    ASSERT_TRUE(consumer.Join(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_EQ(-1, result);
    CloseHandle(blocked);
}

TEST_F(ConsumerWait, SeekThatNeedsARequestWaitsForNoReader) {
    HttpResponse ranged = HttpResponse::Pattern(3000000);
    ranged.acceptRanges = true;
    m_server.Route("/big", ranged);
    StreamPtr<> stream = OpenStarted("/big");
    ASSERT_TRUE(stream->RangesSupported());
    ASSERT_EQ(PatternBytes(0, 1500000), ReadAll(*stream, 1500000, 32768));
    EXPECT_EQ(-1, stream->Seek(2500000, 0));
    EXPECT_EQ(-1, stream->Seek(10, 0));  // wrapped: no ring history either
    EXPECT_EQ(PatternBytes(1500000, 10000), ReadAll(*stream, 10000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Lifetime, ReaderThatMissesTheStopDeletesTheStreamWhenItEnds) {
    HttpResponse paced = HttpResponse::Pattern(2000000);
    paced.bytesPerSecond = 100000;
    m_server.Route("/paced", paced);
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE destroyed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* stream = new HeldStream(held, release, destroyed);
    ASSERT_EQ(0, stream->Connect(Url("/paced").c_str(), 10000));
    stream->StartReader();
    stream->hold = true;
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 10000));
    const auto start = std::chrono::steady_clock::now();
    CHttpStream::Destroy(stream);  // the reader cannot answer within its 4000 ms
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(destroyed, 0));
    SetEvent(release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(destroyed, 10000));
    CloseHandle(held);
    CloseHandle(release);
    CloseHandle(destroyed);
}

}  // namespace
}  // namespace orvi::test
