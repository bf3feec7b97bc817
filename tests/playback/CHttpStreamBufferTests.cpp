// CHttpStreamBuffer with its reader thread: what the consumer gets through
// the ring, how it is woken, cancelled and bounded in time, and what the
// notify window hears.
#include "CPlayer.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

// A platform thread owns its message queue from its first instruction, so
// it can be posted to at once.
class StreamThread {
public:
    explicit StreamThread(std::function<void()> body) : m_body(std::move(body)) {
        m_hThread = CreateThread(nullptr, 0, &StreamThread::Main, this, 0, &m_dwId);
        EXPECT_NE(nullptr, m_hThread);
    }
    ~StreamThread() {
        Join(60000);
        CloseHandle(m_hThread);
    }
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

struct Event {
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(h); }
    bool WaitFor(DWORD ms) const { return WaitForSingleObject(h, ms) == WAIT_OBJECT_0; }
};

// A stream whose reader is held inside its first network read (OnData runs
// on the reader thread), standing for a reader that cannot answer a stop.
struct HeldStream : CHttpStreamBuffer {
    explicit HeldStream(const Event& destroyed) : destroyed(destroyed) {}
    void OnData(const BYTE*, int, DWORD) override {
        if (!held.WaitFor(0)) {
            SetEvent(held.h);
            release.WaitFor(20000);
        }
    }
    ~HeldStream() override { SetEvent(destroyed.h); }
    Event held, release;
    const Event& destroyed;
};

using Reader = StreamServerTest;
using ConsumerWait = StreamServerTest;
using Lifetime = StreamServerTest;

TEST_F(Reader, PlainDataStaysABufferWhoseReaderDeliversAPacedStreamInOrder) {
    RouteWith("/paced", HttpResponse::Pattern(600000), [](auto& r) {
        r.burstBytes = 40000;
        r.bytesPerSecond = 500000;
    });
    StreamPtr<> stream = OpenDetected("/paced");
    ASSERT_EQ(typeid(CHttpStreamBuffer), typeid(*stream));
    stream->StartReader();
    stream->StartReader();  // a second call is ignored
    std::vector<BYTE> big(600001);
    ASSERT_EQ(600000u, stream->Ring()->Capacity());
    EXPECT_EQ(-1, stream->Read(big.data(), 600001, 1000));
    EXPECT_EQ(0, stream->Read(big.data(), 0, 1000));
    int last = 1;
    const std::string data = ReadAll(*stream, 700000, 7000, &last);
    EXPECT_TRUE(data == PatternBytes(0, 600000)) << data.size();
    EXPECT_EQ(0, last);
    EXPECT_EQ(0, stream->Read(big.data(), 1, 5000));
    EXPECT_EQ(600000u, stream->Position());
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(Reader, NotifyWindowHearsTheFillLevelAndAFullRingIsOneRead) {
    const WNDCLASSW wc{0, DefWindowProcW, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"StreamBufferNotify"};
    RegisterClassW(&wc);
    HWND hWnd = CreateWindowExW(0, u"StreamBufferNotify", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hWnd);
    m_server.Route("/body", HttpResponse::Pattern(100000));
    StreamPtr<> stream = Connected("/body");
    stream->SetNotifyWindow(hWnd);
    stream.reset(stream.release()->Detect());
    stream->StartReader();
    std::vector<WPARAM> percents;  // the ring the content length sized fills up
    for (const auto end = std::chrono::steady_clock::now() + 20s;
         (percents.empty() || percents.back() != 100) && std::chrono::steady_clock::now() < end;) {
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
    std::string data(100000, '\0');
    EXPECT_EQ(100000, stream->Read(reinterpret_cast<BYTE*>(data.data()), 100000, 10000));
    EXPECT_TRUE(data == PatternBytes(0, 100000));
    stream.reset();
    DestroyWindow(hWnd);
}

TEST_F(ConsumerWait, CancelEndsABlockedReadAndLeavesOtherMessagesQueued) {
    RouteWith("/stall", HttpResponse::Pattern(1000000), [](auto& r) { r.stallAfter = 50000; });
    StreamPtr<> stream = OpenDetected("/stall");
    stream->StartReader();
    std::string before;
    int cancelled = 0;
    bool foreignKept = false;
    Event blocked;
    StreamThread consumer([&] {
        // With a foreign message queued, the waits sleep on their events.
        PostThreadMessageW(GetCurrentThreadId(), kForeignMessage, 9, 0);
        before = ReadAll(*stream, 50000, 10000);
        SetEvent(blocked.h);
        BYTE buffer[1000];
        cancelled = stream->Read(buffer, sizeof(buffer), 60000);
        MSG msg;
        foreignKept = PeekMessageW(&msg, nullptr, kForeignMessage, kForeignMessage, PM_REMOVE) && msg.wParam == 9;
    });
    ASSERT_TRUE(blocked.WaitFor(20000));
    Sleep(200);  // let it reach its wait
    PostThreadMessageW(consumer.Id(), UM_STREAM_CANCEL, 0, 0);
    ASSERT_TRUE(consumer.Join(5000));
    EXPECT_EQ(PatternBytes(0, 50000), before);
    EXPECT_EQ(-1, cancelled);
    EXPECT_TRUE(foreignKept);
}

TEST_F(ConsumerWait, NetworkErrorWakesTheConsumer) {
    RouteWith("/cut", HttpResponse::Pattern(200000), [](auto& r) {
        r.cutAfter = 60000;  // after the consumer has drained the burst and waits
        r.burstBytes = 40000;
        r.bytesPerSecond = 40000;
    });
    StreamPtr<> stream = OpenDetected("/cut");
    stream->StartReader();
    std::string data;
    int last = 0;
    // Woken by the reader, not by the 60-second limits.
    EXPECT_LT(Took([&] { data = ReadAll(*stream, 200000, 10000, &last, 60000); }), 30s);
    EXPECT_TRUE(data == PatternBytes(0, 60000)) << data.size();
    EXPECT_EQ(-1, last);
}

TEST_F(ConsumerWait, SilentServerMeetsTheTimeLimitAndDestroyReleasesAWaiter) {
    RouteWith("/stall", HttpResponse::Pattern(1000000), [](auto& r) { r.stallAfter = 40000; });
    StreamPtr<> stream = OpenDetected("/stall");
    ASSERT_EQ(PatternBytes(0, 40000), ReadAll(*stream, 40000, 10000));
    BYTE buffer[100];
    EXPECT_LT(Took([&] { EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 1000)); }), 10s);  // direct
    stream->StartReader();
    for (int i = 0; i < 2; ++i)
        EXPECT_LT(Took([&] { EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 1000)); }), 10s);
    CHttpStream* raw = stream.get();
    int result = 0;
    Event blocked;
    StreamThread consumer([&] {
        SetEvent(blocked.h);
        result = raw->Read(buffer, sizeof(buffer), 60000);
    });
    ASSERT_TRUE(blocked.WaitFor(10000));
    Sleep(200);
    stream.reset();
    ASSERT_TRUE(consumer.Join(8000));
    EXPECT_EQ(-1, result);
}

TEST_F(Lifetime, ReaderThatMissesTheStopDeletesTheStreamWhenItEnds) {
    RouteWith("/paced", HttpResponse::Pattern(2000000), [](auto& r) { r.bytesPerSecond = 100000; });
    Event destroyed;
    auto* stream = new HeldStream(destroyed);
    ASSERT_EQ(0, stream->Connect(Url("/paced").c_str(), 10000));
    stream->StartReader();
    ASSERT_TRUE(stream->held.WaitFor(10000));
    HANDLE release = stream->release.h;
    EXPECT_LT(Took([&] { CHttpStream::Destroy(stream); }), 8s);  // the reader cannot answer within its 4000 ms
    EXPECT_FALSE(destroyed.WaitFor(0));
    SetEvent(release);
    EXPECT_TRUE(destroyed.WaitFor(10000));
}

}  // namespace
}  // namespace orvi::test
