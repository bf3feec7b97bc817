// Wave-out playback through the file, null and sdl sinks: the bytes that
// reach the sink, returned buffers and their order, callbacks without the
// device lock, reset, and the null sink's real-time pacing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "WaveOutTestSupport.h"
#include "kernelapi.h"

using orvi::test::FinishesWithin;
using orvi::test::OpenWithRecorder;
using orvi::test::PcmFormat;
using orvi::test::PrepareAndWrite;
using orvi::test::ScopedEnv;
using orvi::test::WaveBuffer;
using orvi::test::WaveRecorder;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr UINT kHdr = sizeof(WAVEHDR);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le(const std::string& s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(uint8_t(s.at(at + i))) << (8 * i);
    return v;
}

int32_t SignedLe(const std::string& s, size_t at, int bytes) {
    const int shift = 32 - 8 * bytes;
    return static_cast<int32_t>(Le(s, at, bytes) << shift) >> shift;
}

// Bytes that differ from buffer to buffer and from byte to byte.
std::vector<char> Noise(size_t size, uint32_t seed) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::vector<WAVEHDR*> HeadersOf(const std::vector<std::unique_ptr<WaveBuffer>>& buffers) {
    std::vector<WAVEHDR*> headers;
    for (const auto& buffer : buffers)
        headers.push_back(&buffer->header);
    return headers;
}

// A device whose `file:` sink writes into the test's device root.
class waveOutFileSink : public orvi::test::DeviceRootTest {
protected:
    // Opens the device, plays the buffers (after `volume`), closes it and
    // returns the file. m_done receives the headers in the order they came
    // back.
    std::string Play(const WAVEFORMATEX& format, std::vector<std::unique_ptr<WaveBuffer>>& buffers,
                     DWORD volume = 0xFFFFFFFF) {
        ScopedEnv audio("ORVI_AUDIO", ("file:" + Path()).c_str());
        WaveRecorder recorder;
        HWAVEOUT device = nullptr;
        EXPECT_EQ(OpenWithRecorder(&device, format, recorder), MMRESULT(MMSYSERR_NOERROR));
        if (!device)
            return {};
        EXPECT_EQ(waveOutSetVolume(device, volume), MMRESULT(MMSYSERR_NOERROR));
        for (auto& buffer : buffers)
            EXPECT_EQ(PrepareAndWrite(device, *buffer), MMRESULT(MMSYSERR_NOERROR));
        EXPECT_TRUE(recorder.WaitForDone(buffers.size()));
        EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
        m_done = recorder.DoneHeaders();
        return ReadFile(Path());
    }
    std::string Path() const { return m_root.HostPath() + "/out.wav"; }

    std::vector<WAVEHDR*> m_done;
};

// A device on the null sink reporting to a recorder: 8 kHz mono 8-bit, so
// a buffer of n bytes lasts n/8 ms.
class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OpenWithRecorder(&m_device, PcmFormat(1, 8000, 8), m_recorder),
                  MMRESULT(MMSYSERR_NOERROR));
    }
    void TearDown() override {
        EXPECT_TRUE(FinishesWithin(10s, [this] { ::waveOutReset(m_device); }));
        EXPECT_EQ(waveOutClose(m_device), MMRESULT(MMSYSERR_NOERROR));
    }

    ScopedEnv m_audio{"ORVI_AUDIO", "null"};
    WaveRecorder m_recorder;
    HWAVEOUT m_device = nullptr;
};

class waveOutReset : public NullDeviceTest {};
class waveOutCallback : public NullDeviceTest {};
class waveOutNullSink : public NullDeviceTest {};

}  // namespace

TEST_F(waveOutFileSink, WritesEveryByteOfEveryBufferInWriteOrder) {
    struct Case {
        WAVEFORMATEX format;
        std::vector<size_t> frames;  // per buffer; more than one 20 ms piece in some
    };
    const Case cases[] = {
        {PcmFormat(2, 8000, 16), {1000, 7, 0, 333, 160, 161}},
        {PcmFormat(1, 11025, 24), {500, 1, 221, 222}},
        {PcmFormat(3, 8000, 8), {170, 0, 999}},
        {PcmFormat(6, 48000, 32), {960, 961, 5}},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format.nChannels << "x" << c.format.wBitsPerSample);
        std::vector<std::unique_ptr<WaveBuffer>> buffers;
        std::string expected;
        for (size_t frames : c.frames) {
            const size_t bytes = frames * c.format.nBlockAlign;
            // An empty buffer still needs data to point at.
            buffers.push_back(std::make_unique<WaveBuffer>(Noise(bytes ? bytes : 1, seed++)));
            buffers.back()->header.dwBufferLength = static_cast<DWORD>(bytes);
            expected.append(buffers.back()->data.begin(), buffers.back()->data.begin() + bytes);
        }
        const std::string file = Play(c.format, buffers);
        EXPECT_EQ(m_done, HeadersOf(buffers)) << "each once, in write order";

        const size_t pad = expected.size() % 2;
        ASSERT_EQ(file.size(), 44 + expected.size() + pad);
        EXPECT_EQ(file.substr(0, 4), "RIFF");
        EXPECT_EQ(Le(file, 4, 4), file.size() - 8);
        EXPECT_EQ(file.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(Le(file, 16, 4), 16u);
        EXPECT_EQ(Le(file, 20, 2), 1u);
        EXPECT_EQ(Le(file, 22, 2), c.format.nChannels);
        EXPECT_EQ(Le(file, 24, 4), c.format.nSamplesPerSec);
        EXPECT_EQ(Le(file, 28, 4), c.format.nAvgBytesPerSec);
        EXPECT_EQ(Le(file, 32, 2), c.format.nBlockAlign);
        EXPECT_EQ(Le(file, 34, 2), c.format.wBitsPerSample);
        EXPECT_EQ(file.substr(36, 4), "data");
        EXPECT_EQ(Le(file, 40, 4), expected.size());
        EXPECT_TRUE(file.compare(44, expected.size(), expected) == 0) << "the samples, unchanged";
    }
}

TEST_F(waveOutFileSink, PadsAnOddDataChunk) {
    std::vector<std::unique_ptr<WaveBuffer>> buffers;
    buffers.push_back(std::make_unique<WaveBuffer>(std::vector<char>{1, char(200), char(255)}));
    const std::string file = Play(PcmFormat(1, 11025, 8), buffers);
    ASSERT_EQ(file.size(), 44u + 3u + 1u);
    EXPECT_EQ(Le(file, 4, 4), 40u) << "the RIFF size counts the pad byte";
    EXPECT_EQ(Le(file, 40, 4), 3u) << "the data size does not";
    EXPECT_EQ(file.substr(44), std::string("\x01\xC8\xFF\0", 4));
}

TEST_F(waveOutFileSink, ScalesEachChannelByItsHalfOfTheVolume) {
    // Three 16-bit channels: 0 and 2 follow the left value, 1 the right.
    std::vector<int16_t> samples;
    for (int i = 0; i < 3000; ++i)
        samples.push_back(static_cast<int16_t>((i * 7919) % 65536 - 32768));
    std::vector<char> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    std::vector<std::unique_ptr<WaveBuffer>> buffers;
    buffers.push_back(std::make_unique<WaveBuffer>(bytes));
    const std::string file = Play(PcmFormat(3, 8000, 16), buffers, 0x40008000);
    ASSERT_EQ(file.size(), 44u + bytes.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        const int gain = (i % 3 == 1) ? 0x4000 : 0x8000;
        ASSERT_NEAR(SignedLe(file, 44 + 2 * i, 2), samples[i] * gain / 65535, 1) << "sample " << i;
    }
    EXPECT_EQ(buffers[0]->data, bytes) << "the caller's data is not scaled in place";
}

TEST_F(waveOutFileSink, SilencesAndKeepsChannelsExactlyAtEveryWidth) {
    // The left channel silent, the right unchanged: 8-bit silence is 128.
    for (WORD bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        const WAVEFORMATEX format = PcmFormat(2, 8000, bits);
        const std::vector<char> bytes = Noise(200 * format.nBlockAlign, bits);
        std::vector<std::unique_ptr<WaveBuffer>> buffers;
        buffers.push_back(std::make_unique<WaveBuffer>(bytes));
        const std::string file = Play(format, buffers, 0xFFFF0000);
        ASSERT_EQ(file.size(), 44u + bytes.size());
        const size_t width = bits / 8;
        for (size_t at = 0; at < bytes.size(); at += width) {
            const bool left = (at / width) % 2 == 0;
            const std::string sample = file.substr(44 + at, width);
            const std::string silence = bits == 8 ? "\x80" : std::string(width, '\0');
            ASSERT_EQ(sample, left ? silence : std::string(&bytes[at], width)) << "byte " << at;
        }
    }
}

TEST_F(waveOutFileSink, MonoFollowsTheLeftValueAndEightBitScalesAroundItsMiddle) {
    const std::vector<char> bytes{0, char(128), char(255), 64, char(129)};
    std::vector<std::unique_ptr<WaveBuffer>> buffers;
    buffers.push_back(std::make_unique<WaveBuffer>(bytes));
    const std::string file = Play(PcmFormat(1, 8000, 8), buffers, 0x00008000);
    ASSERT_EQ(file.size(), 44u + bytes.size() + 1);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int sample = uint8_t(bytes[i]) - 128;
        EXPECT_NEAR(uint8_t(file[44 + i]), 128 + sample * 0x8000 / 65535, 1) << "byte " << i;
    }
}

TEST_F(waveOutFileSink, AVolumeChangeReachesTheBuffersWrittenAfterIt) {
    ScopedEnv audio("ORVI_AUDIO", ("file:" + Path()).c_str());
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(OpenWithRecorder(&device, PcmFormat(1, 8000, 8), recorder),
              MMRESULT(MMSYSERR_NOERROR));
    WaveBuffer loud(std::vector<char>(100, char(250))), quiet(std::vector<char>(100, char(250)));
    ASSERT_EQ(PrepareAndWrite(device, loud), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(recorder.WaitForDone(1));
    ASSERT_EQ(waveOutSetVolume(device, 0), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_EQ(PrepareAndWrite(device, quiet), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(recorder.WaitForDone(2));
    ASSERT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
    const std::string file = ReadFile(Path());
    ASSERT_EQ(file.size(), 244u);
    EXPECT_EQ(file.substr(44, 100), std::string(100, char(250)));
    EXPECT_EQ(file.substr(144, 100), std::string(100, char(128)));
}

TEST_F(waveOutCallback, ReturnsBuffersInWriteOrderFromTheDeviceThread) {
    std::vector<std::unique_ptr<WaveBuffer>> buffers;
    for (int i = 0; i < 5; ++i) {
        buffers.push_back(std::make_unique<WaveBuffer>(40 + i, char(i)));
        ASSERT_EQ(PrepareAndWrite(m_device, *buffers.back()), MMRESULT(MMSYSERR_NOERROR));
    }
    ASSERT_TRUE(m_recorder.WaitForDone(5));
    const auto all = m_recorder.All();
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0].message, UINT(WOM_OPEN));
    EXPECT_EQ(all[0].thread, std::this_thread::get_id()) << "WOM_OPEN comes from waveOutOpen";
    const auto done = m_recorder.Done();
    ASSERT_EQ(done.size(), 5u);
    for (size_t i = 0; i < done.size(); ++i) {
        EXPECT_EQ(done[i].header, &buffers[i]->header) << "order at " << i;
        EXPECT_EQ(done[i].flags, DWORD(WHDR_DONE | WHDR_PREPARED));
        EXPECT_NE(done[i].thread, std::this_thread::get_id());
        EXPECT_EQ(done[i].thread, done[0].thread);
    }
    // Written again after coming back, a buffer is played again.
    ASSERT_EQ(waveOutWrite(m_device, &buffers[0]->header, kHdr), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(6));
    const auto again = m_recorder.Done();
    ASSERT_EQ(again.size(), 6u);
    EXPECT_EQ(again[5].header, &buffers[0]->header);
    EXPECT_EQ(again[5].flags, DWORD(WHDR_DONE | WHDR_PREPARED));
}

TEST(waveOutClose, DeliversWomCloseLastOnTheClosingThread) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(OpenWithRecorder(&device, PcmFormat(1, 8000, 8), recorder),
              MMRESULT(MMSYSERR_NOERROR));
    WaveBuffer buffer(80);
    ASSERT_EQ(PrepareAndWrite(device, buffer), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(recorder.WaitForDone(1));
    std::thread::id closer;
    std::thread([&] {
        closer = std::this_thread::get_id();
        EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
    }).join();
    const auto all = recorder.All();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].message, UINT(WOM_DONE));
    EXPECT_EQ(all[2].message, UINT(WOM_CLOSE));
    EXPECT_EQ(all[2].thread, closer);
}

// Another thread's wave-out calls finish while a callback is still running:
// the device's lock is not held around it.
TEST_F(waveOutCallback, RunsWithoutTheDeviceLock) {
    std::mutex mutex;
    std::condition_variable changed;
    bool inCallback = false, othersDone = false, waitedInVain = false;
    std::atomic<MMRESULT> fromCallback{99};
    WaveBuffer first(40), second(40), third(40);
    m_recorder.OnDone([&](WAVEHDR* header) {
        if (header != &first.header)
            return;
        DWORD volume = 0;
        MMRESULT r = waveOutGetVolume(m_device, &volume);
        if (r == MMSYSERR_NOERROR)
            r = waveOutUnprepareHeader(m_device, header, kHdr);
        if (r == MMSYSERR_NOERROR)
            r = PrepareAndWrite(m_device, third);
        fromCallback = r;
        std::unique_lock lock(mutex);
        inCallback = true;
        changed.notify_all();
        waitedInVain = !changed.wait_for(lock, 5s, [&] { return othersDone; });
    });
    ASSERT_EQ(PrepareAndWrite(m_device, first), MMRESULT(MMSYSERR_NOERROR));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return inCallback; }));
    }
    EXPECT_TRUE(FinishesWithin(2s, [&] {
        EXPECT_EQ(waveOutSetVolume(m_device, 0x80008000), MMRESULT(MMSYSERR_NOERROR));
        EXPECT_EQ(PrepareAndWrite(m_device, second), MMRESULT(MMSYSERR_NOERROR));
    }));
    {
        std::lock_guard lock(mutex);
        othersDone = true;
        changed.notify_all();
    }
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    EXPECT_FALSE(waitedInVain);
    EXPECT_EQ(fromCallback.load(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(m_recorder.DoneHeaders(),
              (std::vector<WAVEHDR*>{&first.header, &third.header, &second.header}));
}

TEST_F(waveOutReset, ReturnsEveryQueuedBufferBeforeItReturns) {
    WaveBuffer a(16000), b(16000), c(16000);  // two seconds each
    for (WaveBuffer* buffer : {&a, &b, &c})
        ASSERT_EQ(PrepareAndWrite(m_device, *buffer), MMRESULT(MMSYSERR_NOERROR));
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
    constexpr int kRounds = 30;
    std::vector<std::unique_ptr<WaveBuffer>> buffers;
    std::vector<WAVEHDR*> written;
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < 4; ++i) {
            buffers.push_back(std::make_unique<WaveBuffer>(8 + 16 * i));  // 1 to 7 ms
            ASSERT_EQ(PrepareAndWrite(m_device, *buffers.back()), MMRESULT(MMSYSERR_NOERROR));
            written.push_back(&buffers.back()->header);
        }
        Sleep(round % 4 * 3);
        ASSERT_TRUE(FinishesWithin(5s, [&] { ::waveOutReset(m_device); })) << "round " << round;
        for (size_t i = buffers.size() - 4; i < buffers.size(); ++i)
            ASSERT_EQ(buffers[i]->header.dwFlags, DWORD(WHDR_DONE | WHDR_PREPARED)) << i;
    }
    EXPECT_EQ(m_recorder.DoneHeaders(), written);
}

// What the decoder does: unprepare inside the callback. A reset from the
// callback returns the rest in order; closing from it is refused.
TEST_F(waveOutCallback, MayUnprepareAndResetButNotClose) {
    std::atomic<MMRESULT> unprepared{99}, closed{99}, reset{99};
    std::atomic<int> calls{0};
    WaveBuffer a(40), b(16000), c(16000);
    std::atomic<DWORD> bFlagsAfterReset{0};
    m_recorder.OnDone([&](WAVEHDR* header) {
        const MMRESULT r = waveOutUnprepareHeader(m_device, header, kHdr);
        if (r != MMSYSERR_NOERROR)
            unprepared = r;
        if (calls++ == 0) {
            unprepared = r;
            closed = waveOutClose(m_device);
            reset = ::waveOutReset(m_device);
            bFlagsAfterReset = b.header.dwFlags;
        }
    });
    for (WaveBuffer* buffer : {&a, &b, &c})
        ASSERT_EQ(PrepareAndWrite(m_device, *buffer), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    EXPECT_EQ(closed.load(), MMRESULT(MMSYSERR_ERROR));
    EXPECT_EQ(reset.load(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(unprepared.load(), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(bFlagsAfterReset.load(), DWORD(WHDR_DONE)) << "returned and unprepared within the reset";
    EXPECT_EQ(m_recorder.DoneHeaders(), (std::vector<WAVEHDR*>{&a.header, &b.header, &c.header}));
    for (WaveBuffer* buffer : {&a, &b, &c})
        EXPECT_EQ(buffer->header.dwFlags, DWORD(WHDR_DONE));
}

// The null sink's clock: lower bounds only, which hold however late the
// threads run, and generous upper bounds.
TEST_F(waveOutNullSink, PlaysEachBufferInRealTime) {
    WaveBuffer a(800), b(800), c(1600);  // 100, 100 and 200 ms
    const Clock::time_point start = Clock::now();
    for (WaveBuffer* buffer : {&a, &b, &c})
        ASSERT_EQ(PrepareAndWrite(m_device, *buffer), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(3));
    const auto done = m_recorder.Done();
    const std::chrono::milliseconds ends[] = {100ms, 200ms, 400ms};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_GE(done[i].time - start, ends[i] - 1ms) << "buffer " << i;
}

TEST_F(waveOutNullSink, AnIdleSinkPlaysTheNextBufferFromItsWrite) {
    WaveBuffer first(80), second(800);
    ASSERT_EQ(PrepareAndWrite(m_device, first), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(1));
    Sleep(300);
    const Clock::time_point written = Clock::now();
    ASSERT_EQ(PrepareAndWrite(m_device, second), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(2));
    EXPECT_GE(m_recorder.Done()[1].time - written, 99ms);
}

TEST_F(waveOutNullSink, AResetDropsWhatWasNotPlayed) {
    WaveBuffer longOne(80000), next(800);  // 10 s, then 100 ms
    ASSERT_EQ(PrepareAndWrite(m_device, longOne), MMRESULT(MMSYSERR_NOERROR));
    Sleep(50);
    ASSERT_TRUE(FinishesWithin(5s, [&] { ::waveOutReset(m_device); }));
    const Clock::time_point written = Clock::now();
    ASSERT_EQ(PrepareAndWrite(m_device, next), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_TRUE(m_recorder.WaitForDone(2, 5s)) << "the dropped rest does not delay it";
    EXPECT_GE(m_recorder.Done()[1].time - written, 99ms);
}

TEST(waveOutOpen, PlaysThroughSdl) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ScopedEnv audio("ORVI_AUDIO", "sdl");
    for (WORD bits : {16, 24}) {
        const WAVEFORMATEX f = PcmFormat(2, 22050, bits);
        WaveRecorder recorder;
        HWAVEOUT device = nullptr;
        const MMRESULT opened = OpenWithRecorder(&device, f, recorder);
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
