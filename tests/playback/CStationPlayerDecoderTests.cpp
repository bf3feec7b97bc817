// Starting stations with the real decoder player: what the recording
// player stands in for elsewhere, played to the `file:` sink.
#include <gtest/gtest.h>

#include <chrono>

#include "CDownloadCache.h"
#include "CPlayerMpeg.h"
#include "CRadioChannel.h"
#include "CStationPlayer.h"
#include "PlayerTestSupport.h"
#include "RecordingPlayer.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::u16string>;

class StationDecoderTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        m_cache.Load(u"\\cache.xml");
        m_cache.SetTimeToLive(3600);
        ASSERT_TRUE(m_decoder.Create(nullptr));
        m_decoder.SetNotifyWindow(m_window.Handle());
        m_window.SetPlayer(&m_decoder);
        m_stations.SetPlayers(&m_decoder, &m_media);
        m_stations.SetConfiguredVolume(100);
        m_server.Route("/live.mp3", HttpResponse::Text(Mp3(2.0), "audio/mpeg"));
    }
    void TearDown() override {
        m_decoder.Destroy();
        DecoderTest::TearDown();
    }
    BOOL Play(const std::u16string& url, LONG bitrate = 128) {
        m_station.url = url;
        m_station.bitrate = bitrate;
        return m_stations.PlayStation(m_station);
    }
    bool PlayedToTheEnd() {
        const bool ended = PumpUntil([&] { return m_window.Received(UM_DECODER_STOPPED); }, 30s);
        m_window.notices.clear();
        m_decoder.Stop();  // closes the device, which completes the WAV file
        const WavFile wav = ReadWavFile(WavPath());
        return ended && wav.valid && wav.Seconds() > 1.5;
    }

    NotifyWindow m_window;
    CPlayerMpeg m_decoder;
    RecordingPlayer m_media;
    RecordingStatusLine m_status;
    CDownloadCache m_cache;
    CStationPlayer m_stations{m_cache, m_status};
    CRadioChannel m_station;
};

using PlayStationDecoder = StationDecoderTest;

TEST_F(PlayStationDecoder, DirectAndResolvedStationsPlayAndAreCached) {
    EXPECT_TRUE(Play(Url("/live.mp3"), CRadioChannel::kDirectStream));
    EXPECT_TRUE(PlayedToTheEnd());
    m_server.Route("/s.pls", HttpResponse::Text("[playlist]\nFile1=" + m_server.Url("/live.mp3") + "\n", "audio/x-scpls"));
    EXPECT_TRUE(Play(Url("/s.pls")));
    EXPECT_TRUE(PlayedToTheEnd());
    EXPECT_EQ(2, m_status.playingMarks);
    ASSERT_EQ(2, m_cache.GetSize());
    EXPECT_EQ(Url("/s.pls"), m_cache[1].url);
    EXPECT_EQ(Url("/live.mp3"), m_cache[1].path);
    EXPECT_EQ(Texts{}, m_media.calls);
}

TEST_F(PlayStationDecoder, CandidateTheDecoderCannotOpenGivesWayToTheNext) {
    // Served as audio, so resolution takes it; the decoder finds no audio.
    m_server.Route("/fake.mp3", HttpResponse::Text(EncodeVideoOnly(), "audio/mpeg"));
    m_server.Route("/s.m3u", HttpResponse::Text(m_server.Url("/fake.mp3") + "\n" + m_server.Url("/live.mp3") + "\n",
                                               "audio/x-mpegurl"));
    EXPECT_TRUE(Play(Url("/s.m3u")));
    EXPECT_TRUE(PlayedToTheEnd());
    EXPECT_EQ(Url("/live.mp3"), m_stations.StreamUrl());
    EXPECT_NE(std::u16string::npos, LogText().find(u"Open failed!"));
    ASSERT_EQ(1, m_cache.GetSize());
    EXPECT_EQ(Url("/live.mp3"), m_cache[0].path);
}

TEST_F(PlayStationDecoder, CachedStreamThatCannotOpenIsForgotten) {
    m_cache.Add(Url("/station").c_str(), u"http://127.0.0.1:1/gone", CacheEntry::StreamAddress);
    EXPECT_FALSE(Play(Url("/station")));
    EXPECT_EQ(0, m_cache.GetSize());
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_EQ(CPlayer::Failed, m_decoder.GetState());
    // Without the cached answer the station is fetched and played.
    m_server.Route("/station", HttpResponse::Text(Mp3(2.0), "audio/mpeg"));
    EXPECT_TRUE(Play(Url("/station")));
    EXPECT_TRUE(PlayedToTheEnd());
}

TEST_F(PlayStationDecoder, MediaPlayerStreamsNeverReachTheDecoder) {
    m_server.Route("/s.asx", HttpResponse::Text("<asx><entry><ref href=\"mms://media/x\"/></entry></asx>",
                                               "video/x-ms-asf"));
    EXPECT_TRUE(Play(Url("/s.asx")));
    EXPECT_EQ(Texts{u"mms://media/x"}, m_media.Opened());
    EXPECT_TRUE(m_window.notices.empty());
    EXPECT_EQ(CPlayer::Stopped, m_decoder.GetState());
}

}  // namespace
}  // namespace orvi::test
