// The decoder player against the local server and the `file:` sink: real
// streams encoded by FFmpeg, decoded by the program's binding of it, and the
// WAV the device wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "CPlayerMpeg.h"
#include "PlayerTestSupport.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PlayerMpegTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        ASSERT_TRUE(m_player.Create(nullptr));
        m_player.SetNotifyWindow(m_window.Handle());
        m_window.SetPlayer(&m_player);
    }
    void TearDown() override {
        m_player.Destroy();
        DecoderTest::TearDown();
    }

    // Plays url to its end; the titles seen while playing, in order, once each.
    std::vector<std::u16string> PlayToEnd(const std::u16string& url) {
        std::vector<std::u16string> titles;
        m_window.OnNotice([&](const Notice&) { NoteTitle(&titles); });
        EXPECT_TRUE(m_player.Open(url.c_str()));
        EXPECT_TRUE(PumpUntil(
            [&] {
                NoteTitle(&titles);
                return m_window.Received(UM_DECODER_STOPPED);
            },
            60s));
        m_window.OnNotice(nullptr);
        m_player.Stop();  // closes the device, which completes the WAV file
        return titles;
    }
    void NoteTitle(std::vector<std::u16string>* titles) {
        PlayerStatus status;
        m_player.GetStatus(&status);
        if (status.state == CPlayer::Playing && !status.title.empty() &&
            (titles->empty() || titles->back() != status.title))
            titles->push_back(status.title);
    }
    static void ExpectTone(const WavFile& wav, int channels, int rate, double seconds) {
        ASSERT_TRUE(wav.valid);
        EXPECT_EQ(channels, wav.channels);
        EXPECT_EQ(rate, wav.sampleRate);
        EXPECT_EQ(16, wav.bitsPerSample);
        // The codecs add their own delay and padding of a few frames.
        EXPECT_NEAR(seconds, wav.Seconds(), 0.15);
        EXPECT_NEAR(440.0, ZeroCrossingFrequency(wav), 3.0);
    }

    NotifyWindow m_window;
    CPlayerMpeg m_player;
};

HttpResponse IcyStation(const std::string& audio, std::vector<std::string> blocks) {
    HttpResponse response;
    response.statusLine = "ICY 200 OK";
    response.headers = {{"Content-Type", "audio/mpeg"}, {"icy-name", "Test Radio"}, {"icy-br", "128"}};
    response.body = audio;
    response.framing = Framing::CloseDelimited;
    response.icy.interval = 8192;
    response.icy.blocks = std::move(blocks);
    return response;
}

TEST_F(PlayerMpegTest, IcyStationPlaysAsPureAudioWithItsTitle) {
    // The first blocks pass while the stream is probed, before the engine is
    // bound; the title stands in every later one.
    std::vector<std::string> blocks(2, "");
    blocks.resize(60, IcyTitle("Artist - Song"));
    m_server.Route("/icy", IcyStation(Mp3(4.0), blocks));
    const std::vector<std::u16string> titles = PlayToEnd(Url("/icy"));
    EXPECT_EQ((std::vector<UINT>{UM_DECODER_OPENED, UM_DECODER_STARTING, UM_DECODER_PLAYING, UM_DECODER_STOPPED}),
              m_window.Messages(UM_DECODER_BUFFERING));
    EXPECT_EQ(0u, m_window.notices.front().wParam);
    ExpectTone(ReadWavFile(WavPath()), 2, 44100, 4.0);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(u"Artist - Song", titles.back());
    EXPECT_EQ(CPlayer::Stopped, m_player.GetState());
    EXPECT_EQ(1u, m_server.RequestCount("/icy"));
}

TEST_F(PlayerMpegTest, AacOfAnyRateAndChannelCountBecomesSixteenBitPcm) {
    ToneFormat tone;
    tone.encoder = "aac";
    tone.muxer = "adts";
    tone.sampleRate = 32000;
    tone.channels = 1;
    tone.bitRate = 64000;
    tone.seconds = 3.0;
    m_server.Route("/aac", HttpResponse::Text(EncodeTone(tone), "audio/aacp"));
    PlayToEnd(Url("/aac"));
    ExpectTone(ReadWavFile(WavPath()), 1, 32000, 3.0);
    EXPECT_EQ(64000u, m_player.Engine()->BytesPerSecond());
    EXPECT_EQ(std::u16string::npos, LogText().find(u"failed"));
}

TEST_F(PlayerMpegTest, BuffersHoldOneSecondOfTheStreamsFormat) {
    m_server.Route("/a.mp3", HttpResponse::Text(Mp3(2.0), "audio/mpeg"));
    ASSERT_TRUE(m_player.Open(Url("/a.mp3").c_str()));
    CDecoderEngine* engine = m_player.Engine();
    EXPECT_EQ(176400u, engine->BytesPerSecond());
    EXPECT_EQ(176400, engine->BufferSize());
    EXPECT_EQ(640800u, engine->SampleBlockSize());
    EXPECT_TRUE(PumpUntil([&] { return m_window.Received(UM_DECODER_STOPPED); }, 30s));

    m_server.Route("/b.mp3", HttpResponse::Text(Mp3(2.0, 22050, 1), "audio/mpeg"));
    ASSERT_TRUE(m_player.Open(Url("/b.mp3").c_str()));
    EXPECT_EQ(44100, engine->BufferSize());
    EXPECT_EQ(288000u + 2 * 44100, engine->SampleBlockSize());
}

TEST_F(PlayerMpegTest, VideoOnlyStreamFailsToOpenWithNoAudioAndShowsOpenError) {
    m_server.Route("/clip.gif", HttpResponse::Text(EncodeVideoOnly(), "image/gif"));
    EXPECT_FALSE(m_player.Open(Url("/clip.gif").c_str()));
    ASSERT_EQ(1u, m_window.notices.size());
    EXPECT_EQ(UM_DECODER_OPENED, m_window.notices[0].message);
    EXPECT_EQ(1169u, m_window.notices[0].wParam);
    PlayerStatus status;
    ASSERT_TRUE(m_player.GetStatus(&status));
    EXPECT_EQ(CPlayer::Failed, status.state);
    EXPECT_EQ(u"Open error!", status.statusText);
    EXPECT_FALSE(m_player.IsActive());
}

TEST_F(PlayerMpegTest, OpenWithoutUrlOrLibrariesOrServerFails) {
    EXPECT_FALSE(m_player.Open(u""));
    g_ffmpeg.Free();
    const BOOL opened = m_player.Open(Url("/a.mp3").c_str());
    ASSERT_TRUE(g_ffmpeg.Load());
    EXPECT_FALSE(opened);
    m_server.Route("/missing", HttpResponse::NotFound());
    EXPECT_FALSE(m_player.Open(Url("/missing").c_str()));
    ASSERT_EQ(3u, m_window.notices.size());
    EXPECT_EQ(0x80070057u, m_window.notices[0].wParam);
    EXPECT_EQ(0x80004003u, m_window.notices[1].wParam);
    EXPECT_EQ(static_cast<WPARAM>(-2), m_window.notices[2].wParam);
    EXPECT_EQ(0u, m_server.RequestCount("/a.mp3"));
}

TEST_F(PlayerMpegTest, StopWhileWaitingForASilentServerEndsInTimeAndTheNextStationPlays) {
    HttpResponse stalling = HttpResponse::Text(Mp3(10.0), "audio/mpeg");
    stalling.framing = Framing::CloseDelimited;
    stalling.stallAfter = 100000;
    m_server.Route("/stall", stalling);
    ASSERT_TRUE(m_player.Open(Url("/stall").c_str()));
    // The unpaced sink plays what came at once; then the decoder waits.
    ASSERT_TRUE(PumpUntil([&] { return m_player.Engine()->BytesPlayed() > 0; }, 20s));
    PumpUntil([] { return false; }, 300ms);
    const auto start = Clock::now();
    EXPECT_TRUE(m_player.Stop());
    EXPECT_LT(Clock::now() - start, 5500ms);
    EXPECT_TRUE(PumpUntil([&] { return m_player.GetState() == CPlayer::Stopped; }, 5s));

    // Nothing of the stopped play is left to disturb the next one.
    m_window.notices.clear();
    m_server.Route("/next", HttpResponse::Text(Mp3(2.0), "audio/mpeg"));
    PlayToEnd(Url("/next"));
    EXPECT_TRUE(m_window.Received(UM_DECODER_PLAYING));
    ExpectTone(ReadWavFile(WavPath()), 2, 44100, 2.0);
}

TEST_F(PlayerMpegTest, TeardownCancelsAnOpenWaitingForTheServer) {
    HttpResponse silent = HttpResponse::Text(Mp3(2.0), "audio/mpeg");
    silent.delayBeforeStatus = 60s;
    m_server.Route("/silent", silent);
    // The Now Playing worker is a thread of the platform, with a queue.
    struct Work {
        CPlayerMpeg* player;
        std::u16string url;
        BOOL opened = TRUE;
        Clock::time_point finished;
    } work{&m_player, Url("/silent"), TRUE, {}};
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* w = static_cast<Work*>(parameter);
            w->opened = w->player->Open(w->url.c_str());
            w->finished = Clock::now();
            return 0;
        },
        &work, 0, nullptr);
    ASSERT_NE(nullptr, worker);
    ASSERT_TRUE(m_server.WaitForRequests(1, 5s));
    const auto start = Clock::now();
    EXPECT_TRUE(m_player.Engine()->Teardown());
    // The worker's open sends its failure to this thread's window.
    PumpUntil([&] { return m_window.Received(UM_DECODER_OPENED); }, 10s);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker, 10000));
    CloseHandle(worker);
    const BOOL opened = work.opened;
    const Clock::time_point finished = work.finished;
    EXPECT_FALSE(opened);
    EXPECT_LT(finished - start, 5s);
}

TEST_F(PlayerMpegTest, ElapsedTimeCountsTheWholeSecondsPlayed) {
    EXPECT_EQ(u"00:00", m_player.Engine()->ElapsedText());
    ToneFormat tone;
    tone.sampleRate = 8000;
    tone.channels = 1;
    tone.bitRate = 16000;
    tone.seconds = 125.3;
    WriteDevice("\\long.mp3", EncodeTone(tone));
    PlayToEnd(u"\\long.mp3");
    EXPECT_EQ(u"02:05", m_player.Engine()->ElapsedText());
    EXPECT_NEAR(125.3, ReadWavFile(WavPath()).Seconds(), 0.3);
}

// The loudest sample of channel 0 after the first half second.
int Peak(const WavFile& wav) {
    int peak = 0;
    for (size_t i = wav.sampleRate / 2 * wav.channels; i < wav.samples.size(); i += wav.channels)
        peak = std::max(peak, std::abs(int(wav.samples[i])));
    return peak;
}

TEST_F(PlayerMpegTest, VolumeIsClampedStoredAndAppliedToTheSamples) {
    EXPECT_EQ(80, m_player.SetVolume(80, CPlayer::VolumeChange::Absolute));
    EXPECT_EQ(100, m_player.SetVolume(30, CPlayer::VolumeChange::Relative));
    EXPECT_EQ(0, m_player.SetVolume(-20, CPlayer::VolumeChange::Absolute));
    EXPECT_EQ(0, m_player.GetVolume());  // no device: the stored value

    m_server.Route("/full.mp3", HttpResponse::Text(Mp3(2.0), "audio/mpeg"));
    m_player.SetVolume(100, CPlayer::VolumeChange::Absolute);
    PlayToEnd(Url("/full.mp3"));
    const int full = Peak(ReadWavFile(WavPath()));
    EXPECT_NEAR(16384, full, 1600);  // the tone's amplitude is one half

    m_window.notices.clear();
    m_player.SetVolume(40, CPlayer::VolumeChange::Absolute);
    ASSERT_TRUE(m_player.Open(Url("/full.mp3").c_str()));
    EXPECT_EQ(40, m_player.GetVolume());  // read back from the device
    EXPECT_EQ(50, m_player.SetVolume(10, CPlayer::VolumeChange::Relative));
    EXPECT_EQ(50, m_player.GetVolume());
    EXPECT_TRUE(PumpUntil([&] { return m_window.Received(UM_DECODER_STOPPED); }, 30s));
    m_player.Stop();
    EXPECT_NEAR(full / 2, Peak(ReadWavFile(WavPath())), full / 20);
}

TEST(CPlayerMpegNotify, StateAndStatusFollowTheNotifications) {
    TempDeviceRoot root;
    CPlayerMpeg player;
    PlayerStatus status;
    EXPECT_FALSE(player.GetStatus(&status));  // before Create
    ASSERT_TRUE(player.Create(nullptr));
    player.OnNotify(UM_DECODER_STARTING, 0, 0);
    ASSERT_TRUE(player.GetStatus(&status));
    EXPECT_EQ(CPlayer::Opening, status.state);
    EXPECT_EQ(u"Buffering 100%", status.statusText);
    player.OnNotify(UM_DECODER_BUFFERING, 42, 0);
    player.GetStatus(&status);
    EXPECT_EQ(u"Buffering 42%", status.statusText);
    EXPECT_TRUE(player.IsActive());

    player.OnNotify(UM_DECODER_PLAYING, 0, 0);
    status.title = u"stale";
    player.GetStatus(&status);
    EXPECT_EQ(CPlayer::Playing, status.state);
    EXPECT_EQ(u"00:00", status.statusText);
    EXPECT_EQ(u"", status.title);
    EXPECT_EQ(0u, player.StatusId());  // reading while playing clears it

    player.OnNotify(UM_DECODER_CODEC_ERROR, 0, 0);
    player.GetStatus(&status);
    EXPECT_EQ(CPlayer::Failed, status.state);
    EXPECT_EQ(u"Codec error!", status.statusText);
    player.OnNotify(UM_DECODER_BUFFERING, 7, 0);  // ignored once failed
    EXPECT_EQ(42, player.Percent());
    EXPECT_FALSE(player.IsActive());

    player.OnNotify(UM_DECODER_OPENED, 0, 0);
    player.GetStatus(&status);
    EXPECT_EQ(u"Buffering 42%", status.statusText);
    player.OnNotify(UM_DECODER_STOPPED, 0, 0);
    status.statusText = u"kept";
    player.GetStatus(&status);
    EXPECT_EQ(CPlayer::Stopped, status.state);
    EXPECT_EQ(u"kept", status.statusText);  // no message: left as it was
    player.OnNotify(UM_DECODER_BUFFERING, 9, 0);  // ignored once stopped
    EXPECT_EQ(0u, player.StatusId());
    EXPECT_FALSE(player.Pause());
    EXPECT_FALSE(player.Resume());
}

}  // namespace
}  // namespace orvi::test
