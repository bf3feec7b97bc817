// Wave-out playback through the file, null and sdl sinks: the bytes that
// reach the sink, returned buffers and their order, callbacks without the
// device lock, reset, and the null sink's real-time pacing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <string>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "WaveOutTestSupport.h"
#include "kernelapi.h"

using namespace orvi::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// value as `bytes` little-endian bytes.
std::string Le(uint32_t value, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>(value >> (8 * i));
    return s;
}

// One sample as a signed value: 8-bit samples are centred on 128.
int64_t Sample(const char* p, int bytes) {
    if (bytes == 1)
        return int64_t(uint8_t(*p)) - 128;
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(uint8_t(p[i])) << (8 * i);
    const int shift = 32 - 8 * bytes;
    return static_cast<int32_t>(v << shift) >> shift;
}

// Bytes that differ from buffer to buffer and from byte to byte.
std::vector<char> Noise(size_t size, uint32_t seed) {
    std::vector<char> bytes(size);
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

class waveOutFileSink : public DeviceRootTest {};

// A device on the null sink: 8 kHz mono 8-bit, so n bytes last n/8 ms.
class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_recorder.Open(&m_device, PcmFormat(1, 8000, 8)), MMRESULT(MMSYSERR_NOERROR));
    }
    // A deadlocked device can be neither closed nor destroyed: the process
    // ends here rather than hang.
    void TearDown() override {
        if (!FinishesWithin(10s, [this] {
                ::waveOutReset(m_device);
                EXPECT_EQ(waveOutClose(m_device), MMRESULT(MMSYSERR_NOERROR));
            })) {
            ADD_FAILURE() << "the device does not close: deadlocked";
            std::fflush(nullptr);
            std::_Exit(1);
        }
    }
    void Write(std::initializer_list<WaveBuffer*> buffers) {
        for (WaveBuffer* buffer : buffers)
            ASSERT_EQ(PrepareAndWrite(m_device, *buffer), MMRESULT(MMSYSERR_NOERROR));
    }

    ScopedEnv m_audio{"ORVI_AUDIO", "null"};
    WaveRecorder m_recorder;
    HWAVEOUT m_device = nullptr;
};

class waveOutReset : public NullDeviceTest {};
class waveOutCallback : public NullDeviceTest {};
class waveOutNullSink : public NullDeviceTest {};

}  // namespace

// Every byte of every buffer reaches the file once, in write order, behind
// the header of the format. Channels 0, 2, ... (and mono) are scaled by the
// volume's low word, 1, 3, ... by its high word, exactly at silence and at
// full volume; `later` is set once the first buffer has come back.
TEST_F(waveOutFileSink, WritesEveryBufferInWriteOrderScaledByTheVolume) {
    struct Case {
        WAVEFORMATEX format;
        std::vector<size_t> frames;  // per buffer; more than one 20 ms piece in some
        DWORD volume = 0xFFFFFFFF;
        std::optional<DWORD> later = {};
    };
    const Case cases[] = {
        {PcmFormat(2, 8000, 16), {1000, 7, 0, 333, 160, 161}},
        {PcmFormat(1, 11025, 24), {500, 1, 221, 222}},
        {PcmFormat(3, 8000, 8), {170, 0, 999}},  // an odd data chunk
        {PcmFormat(6, 48000, 32), {960, 961, 5}},
        {PcmFormat(3, 8000, 16), {300}, 0x40008000},
        {PcmFormat(1, 8000, 8), {301}, 0x00008000},
        {PcmFormat(2, 8000, 8), {300}, 0xFFFF0000},
        {PcmFormat(2, 8000, 16), {300}, 0xFFFF0000},
        {PcmFormat(2, 8000, 24), {300}, 0x0000FFFF},
        {PcmFormat(4, 8000, 24), {300}, 0x20004000},
        {PcmFormat(2, 8000, 32), {300, 300}, 0x0000C000, 0xFFFF0000},
        {PcmFormat(1, 8000, 8), {100, 100}, 0xFFFFFFFF, 0},
    };
    const std::string path = m_root.HostPath() + "/out.wav";
    ScopedEnv audio("ORVI_AUDIO", ("file:" + path).c_str());
    uint32_t seed = 1;
    for (const Case& c : cases) {
        const WAVEFORMATEX& f = c.format;
        SCOPED_TRACE(testing::Message() << &c - cases << ": " << f.nChannels << "x" << f.wBitsPerSample);
        WaveRecorder recorder;
        HWAVEOUT device = nullptr;
        ASSERT_EQ(recorder.Open(&device, f), MMRESULT(MMSYSERR_NOERROR));
        ASSERT_EQ(waveOutSetVolume(device, c.volume), MMRESULT(MMSYSERR_NOERROR));
        std::deque<WaveBuffer> buffers;
        std::vector<std::vector<char>> sent;
        std::vector<WAVEHDR*> written;
        uint32_t data = 0;
        for (size_t frames : c.frames) {
            if (c.later && !buffers.empty()) {
                ASSERT_TRUE(recorder.WaitForDone(1));
                ASSERT_EQ(waveOutSetVolume(device, *c.later), MMRESULT(MMSYSERR_NOERROR));
            }
            const size_t bytes = frames * f.nBlockAlign;
            // An empty buffer still needs data to point at.
            WaveBuffer& buffer = buffers.emplace_back(Noise(bytes ? bytes : 1, seed++));
            buffer.header.dwBufferLength = static_cast<DWORD>(bytes);
            data += buffer.header.dwBufferLength;
            sent.push_back(buffer.data);
            written.push_back(&buffer.header);
            ASSERT_EQ(PrepareAndWrite(device, buffer), MMRESULT(MMSYSERR_NOERROR));
        }
        ASSERT_TRUE(recorder.WaitForDone(buffers.size()));
        ASSERT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
        EXPECT_EQ(recorder.DoneHeaders(), written) << "each once, in write order";

        std::ifstream in(path, std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), {}};
        const uint32_t pad = data % 2;
        const std::string header = "RIFF" + Le(36 + data + pad, 4) + "WAVEfmt " + Le(16, 4) +
                                   Le(1, 2) + Le(f.nChannels, 2) + Le(f.nSamplesPerSec, 4) +
                                   Le(f.nAvgBytesPerSec, 4) + Le(f.nBlockAlign, 2) +
                                   Le(f.wBitsPerSample, 2) + "data" + Le(data, 4);
        ASSERT_EQ(file.size(), 44 + data + pad);
        EXPECT_EQ(file.substr(0, 44), header) << "the RIFF size counts the pad byte, data not";
        EXPECT_TRUE(!pad || file.back() == '\0');
        const int width = f.wBitsPerSample / 8;
        size_t at = 44;
        for (size_t b = 0; b < buffers.size(); ++b) {
            EXPECT_EQ(buffers[b].data, sent[b]) << "the caller's data is not scaled in place";
            const DWORD volume = b > 0 && c.later ? *c.later : c.volume;
            for (size_t i = 0; i * width < buffers[b].header.dwBufferLength; ++i, at += width) {
                const int64_t gain = i % f.nChannels % 2 ? volume >> 16 : volume & 0xFFFF;
                ASSERT_NEAR(Sample(&file[at], width), Sample(&sent[b][i * width], width) * gain / 0xFFFF,
                            gain % 0xFFFF ? 1 : 0) << "buffer " << b << ", sample " << i;
            }
        }
    }
}

// Another thread's wave-out calls finish while a callback is still running:
// the device's lock is not held around it.
TEST_F(waveOutCallback, RunsWithoutTheDeviceLock) {
    std::promise<MMRESULT> fromCallback;
    std::promise<void> othersDone;
    std::atomic<bool> waitedInVain{false};
    WaveBuffer first(40), second(40), third(40);
    m_recorder.OnDone([&, others = othersDone.get_future().share()](WAVEHDR* header) {
        if (header != &first.header)
            return;
        DWORD volume = 0;
        MMRESULT r = waveOutGetVolume(m_device, &volume);
        if (r == MMSYSERR_NOERROR)
            r = waveOutUnprepareHeader(m_device, header, kHdr);
        fromCallback.set_value(r == MMSYSERR_NOERROR ? PrepareAndWrite(m_device, third) : r);
        waitedInVain = others.wait_for(5s) != std::future_status::ready;
    });
    Write({&first});
    std::future<MMRESULT> inCallback = fromCallback.get_future();
    ASSERT_EQ(inCallback.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(inCallback.get(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_TRUE(FinishesWithin(2s, [&] {
        EXPECT_EQ(waveOutSetVolume(m_device, 0x80008000), MMRESULT(MMSYSERR_NOERROR));
        EXPECT_EQ(PrepareAndWrite(m_device, second), MMRESULT(MMSYSERR_NOERROR));
    }));
    othersDone.set_value();
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    EXPECT_FALSE(waitedInVain);
    EXPECT_EQ(m_recorder.DoneHeaders(),
              (std::vector<WAVEHDR*>{&first.header, &third.header, &second.header}));
}

TEST_F(waveOutReset, ReturnsEveryQueuedBufferBeforeItReturns) {
    WaveBuffer a(16000), b(16000), c(16000);  // two seconds each
    Write({&a, &b, &c});
    EXPECT_TRUE(m_recorder.Done().empty()) << "the null sink plays in real time";
    EXPECT_EQ(::waveOutClose(m_device), MMRESULT(WAVERR_STILLPLAYING));
    EXPECT_EQ(waveOutUnprepareHeader(m_device, &b.header, kHdr), MMRESULT(WAVERR_STILLPLAYING));
    EXPECT_EQ(waveOutPrepareHeader(m_device, &b.header, kHdr), MMRESULT(WAVERR_STILLPLAYING));
    EXPECT_EQ(waveOutWrite(m_device, &c.header, kHdr), MMRESULT(WAVERR_STILLPLAYING));
    ASSERT_TRUE(FinishesWithin(5s, [&] {
        EXPECT_EQ(::waveOutReset(m_device), MMRESULT(MMSYSERR_NOERROR));
        // Checked before the reset's caller goes on.
        for (WaveBuffer* buffer : {&a, &b, &c})
            EXPECT_EQ(buffer->header.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED));
        EXPECT_EQ(m_recorder.Done().size(), 3u);
    }));
    EXPECT_EQ(m_recorder.DoneHeaders(), (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
    EXPECT_EQ(waveOutUnprepareHeader(m_device, &b.header, kHdr), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(b.header.dwFlags, DWORD(WHDR_DONE));
}

TEST_F(waveOutReset, FromAnotherThreadWhileBuffersReturnLosesNoneAndKeepsTheOrder) {
    std::deque<WaveBuffer> buffers;
    std::vector<WAVEHDR*> written;
    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < 4; ++i) {
            written.push_back(&buffers.emplace_back(8 + 16 * i).header);  // 1 to 7 ms
            Write({&buffers.back()});
        }
        Sleep(round % 4 * 3);
        ASSERT_TRUE(FinishesWithin(5s, [&] { ::waveOutReset(m_device); })) << "round " << round;
        for (size_t i = written.size() - 4; i < written.size(); ++i)
            ASSERT_EQ(written[i]->dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED)) << i;
    }
    EXPECT_EQ(m_recorder.DoneHeaders(), written);
}

// What the decoder does: unprepare inside the callback. A reset from the
// callback returns the rest in order; closing from it is refused.
TEST_F(waveOutCallback, MayUnprepareAndResetButNotClose) {
    std::atomic<MMRESULT> unprepared{MMSYSERR_NOERROR}, closed{99}, reset{99};
    std::atomic<DWORD> bFlagsAfterReset{0};
    WaveBuffer a(40), b(16000), c(16000);
    m_recorder.OnDone([&](WAVEHDR* header) {
        if (const MMRESULT r = waveOutUnprepareHeader(m_device, header, kHdr); r != MMSYSERR_NOERROR)
            unprepared = r;
        if (header == &a.header) {
            closed = waveOutClose(m_device);
            reset = ::waveOutReset(m_device);
            bFlagsAfterReset = b.header.dwFlags;
        }
    });
    Write({&a, &b, &c});
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    EXPECT_EQ(closed.load(), MMRESULT(MMSYSERR_ERROR));
    EXPECT_EQ(reset.load(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(unprepared.load(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(bFlagsAfterReset.load(), DWORD(WHDR_DONE)) << "returned and unprepared within the reset";
    EXPECT_EQ(m_recorder.DoneHeaders(), (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
    for (WaveBuffer* buffer : {&a, &b, &c})
        EXPECT_EQ(buffer->header.dwFlags, DWORD(WHDR_DONE));
}

// The null sink's clock, back to back, after an idle spell, and after a
// reset: lower bounds only, which hold however late the threads run.
TEST_F(waveOutNullSink, PlaysInRealTimeFromTheWriteThatEndsItsIdleSpell) {
    WaveBuffer a(800), b(800), c(1600), afterIdle(800), longOne(80000), afterReset(800);
    const Clock::time_point start = Clock::now();
    Write({&a, &b, &c});  // 100, 100 and 200 ms
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    const auto played = m_recorder.Done();
    const std::chrono::milliseconds ends[] = {100ms, 200ms, 400ms};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_GE(played[i].time - start, ends[i] - 1ms) << "buffer " << i;

    Sleep(300);
    Clock::time_point written = Clock::now();
    Write({&afterIdle});
    ASSERT_TRUE(m_recorder.WaitForDone(4));
    EXPECT_GE(m_recorder.Done()[3].time - written, 99ms) << "not counted from the idle start";

    Write({&longOne});  // 10 s
    Sleep(50);
    ASSERT_TRUE(FinishesWithin(5s, [&] { ::waveOutReset(m_device); }));
    written = Clock::now();
    Write({&afterReset});
    ASSERT_TRUE(m_recorder.WaitForDone(6, 5s)) << "the dropped rest does not delay it";
    EXPECT_GE(m_recorder.Done()[5].time - written, 99ms);
}

TEST(waveOutOpen, PlaysThroughSdl) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ScopedEnv audio("ORVI_AUDIO", "sdl");
    for (WORD bits : {16, 24}) {
        const WAVEFORMATEX f = PcmFormat(2, 22050, bits);
        WaveRecorder recorder;
        HWAVEOUT device = nullptr;
        const MMRESULT opened = recorder.Open(&device, f);
        if (opened == MMSYSERR_NODRIVER)
            GTEST_SKIP() << "SDL has no audio output here";
        ASSERT_EQ(opened, MMRESULT(MMSYSERR_NOERROR));
        WaveBuffer first(f.nAvgBytesPerSec / 20), second(f.nAvgBytesPerSec / 20);
        ASSERT_EQ(PrepareAndWrite(device, first), MMRESULT(MMSYSERR_NOERROR));
        ASSERT_EQ(PrepareAndWrite(device, second), MMRESULT(MMSYSERR_NOERROR));
        ASSERT_TRUE(recorder.WaitForDone(2, 10s)) << bits << " bits";
        EXPECT_EQ(recorder.DoneHeaders(), (std::vector<WAVEHDR*>{&first.header, &second.header}));
        EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
    }
}
