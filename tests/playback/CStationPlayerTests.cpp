// Resolving station addresses against the local test server, and starting
// stations on recording players.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CDownloadCache.h"
#include "CRadioChannel.h"
#include "CStationPlayer.h"
#include "LogTestSupport.h"
#include "RecordingPlayer.h"
#include "TestHttpServer.h"

namespace orvi::test {
namespace {

using Texts = std::vector<std::u16string>;

class StationPlayerTest : public LoggedDeviceTest {
protected:
    void SetUp() override {
        LoggedDeviceTest::SetUp();
        ASSERT_TRUE(m_server.Start());
        m_cache.Load(u"\\cache.xml");
        m_cache.SetTimeToLive(3600);
        m_player.SetPlayers(&m_decoder, &m_media);
        m_player.SetConfiguredVolume(70);
        m_server.Route("/live", HttpResponse::Text("", "audio/mpeg"));
    }

    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    std::string Narrow(const std::u16string& text) const { return std::string(text.begin(), text.end()); }
    void Serve(const std::string& path, const std::string& body, const std::string& type) {
        m_server.Route(path, HttpResponse::Text(body, type));
    }
    // An M3U list of the given server paths.
    void ServeM3u(const std::string& path, const std::vector<std::string>& entries) {
        std::string body = "#EXTM3U\r\n";
        for (const std::string& entry : entries)
            body += (entry[0] == '/' ? m_server.Url(entry) : entry) + "\r\n";
        Serve(path, body, "audio/x-mpegurl");
    }
    std::u16string ResolvePath(const std::string& path, int* status, int depth = 1) {
        return m_player.Resolve(Url(path).c_str(), depth, status);
    }
    Texts Candidates() {
        Texts entries;
        for (int i = 0; i < m_player.PlayList().GetSize(); ++i)
            entries.emplace_back(m_player.PlayList()[i]);
        return entries;
    }
    BOOL Play(const std::u16string& url, LONG bitrate = 128) {
        m_station.url = url;
        m_station.bitrate = bitrate;
        return m_player.PlayStation(m_station);
    }
    bool Logged(const std::u16string& text) { return LogText().find(text) != std::u16string::npos; }

    TestHttpServer m_server;
    RecordingPlayer m_decoder;
    RecordingPlayer m_media;
    RecordingStatusLine m_status;
    CDownloadCache m_cache;
    CStationPlayer m_player{m_cache, m_status};
    CRadioChannel m_station;
};

using Resolve = StationPlayerTest;
using PlayStation = StationPlayerTest;

TEST_F(Resolve, PlsFileLineIsFollowedAndTitleLineIgnored) {
    Serve("/s.pls", "[playlist]\nNumberOfEntries=1\nFile1=" + m_server.Url("/live") + "\nTitle1=Radio One\n",
          "audio/x-scpls");
    int status = -7;
    EXPECT_EQ(Url("/live"), ResolvePath("/s.pls", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ((Texts{Url("/live")}), Candidates());
    EXPECT_EQ((Texts{u"Loading " + Url("/live")}), m_status.texts);
    EXPECT_EQ(1u, m_server.RequestCount("/live"));
}

TEST_F(Resolve, AsxDocumentsBrokenOrFullySkipped) {
    // Not well-formed, but the reference is still found; not http: taken as is.
    Serve("/broken.asx", "<ASX version=\"3.0\"><Entry><ref href=\"mms://media/x\"></Entry>", "video/x-ms-asf");
    int status = -7;
    EXPECT_EQ(u"mms://media/x", ResolvePath("/broken.asx", &status));
    EXPECT_EQ(0, status);
    // Every entry skipped: nothing to follow, so the address itself stands.
    Serve("/skip.asx",
          "<asx version=\"3.0\"><entry ClientSkip=\"yes\"><ref title=\"ad\" href=\"" + m_server.Url("/live") +
              "\"/></entry><Entry CLIENTSKIP=\"YES\"><Ref\n href=\"mms://ad\"/></Entry></asx>",
          "audio/x-ms-wax");
    EXPECT_EQ(Url("/skip.asx"), ResolvePath("/skip.asx", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(Texts{}, Candidates());
    EXPECT_EQ(0u, m_server.RequestCount("/live"));
}

TEST_F(Resolve, TextPlainListWithCommentAndM3uNamingItself) {
    Serve("/list.txt", m_server.Url("/live") + "\r\n# the station's own stream\r\n", "text/plain");
    int status = -7;
    EXPECT_EQ(Url("/live"), ResolvePath("/list.txt", &status));
    EXPECT_EQ((Texts{Url("/live")}), Candidates());
    // The list names itself first: the walk stops at once and keeps the URL.
    ServeM3u("/self.m3u", {"/self.m3u", "/live"});
    EXPECT_EQ(Url("/self.m3u"), ResolvePath("/self.m3u", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(1u, m_server.RequestCount("/self.m3u"));
    EXPECT_EQ(1u, m_server.RequestCount("/live"));
}

TEST_F(Resolve, CandidateThatLeadsNowhereGivesWayToTheNext) {
    ServeM3u("/a.m3u", {"/missing", "/live"});
    int status = -7;
    EXPECT_EQ(Url("/live"), ResolvePath("/a.m3u", &status));
    EXPECT_EQ(0, status);
    EXPECT_TRUE(Logged(u"Get " + Url("/missing") + u" failed(0x194)!\r\n")) << Narrow(LogText());
    // A 404 before a non-http candidate must not empty the result.
    ServeM3u("/b.m3u", {"/missing", "mms://media/b"});
    EXPECT_EQ(u"mms://media/b", ResolvePath("/b.m3u", &status));
    EXPECT_EQ(0, status);
    // A nested list whose only candidate fails does not cost the outer list
    // its remaining candidates.
    ServeM3u("/inner.m3u", {"/missing"});
    ServeM3u("/outer.m3u", {"/inner.m3u", "rtsp://media/c"});
    EXPECT_EQ(u"rtsp://media/c", ResolvePath("/outer.m3u", &status));
    EXPECT_EQ((Texts{u"rtsp://media/c"}), Candidates());
}

TEST_F(Resolve, MediaTypeDecidesBetweenStreamAndPlayList) {
    m_server.Route("/mp3", HttpResponse::Text("ID3", "Audio/MPEG ; charset=UTF-8"));
    int status = -7;
    EXPECT_EQ(Url("/mp3"), ResolvePath("/mp3", &status));
    EXPECT_EQ(0, status);
    Serve("/page", "<html>" + m_server.Url("/live") + "</html>", "text/html");
    status = -7;
    EXPECT_EQ(Url("/page"), ResolvePath("/page", &status));
    EXPECT_EQ(0, status);
    EXPECT_TRUE(Logged(u"ERROR we don't know the mime type: text/html(" + Url("/page") + u")\r\n"));
    EXPECT_EQ(0u, m_server.RequestCount("/live"));
    m_server.Route("/gone", HttpResponse::NotFound());
    EXPECT_EQ(u"", ResolvePath("/gone", &status));
    EXPECT_EQ(404, status);
}

TEST_F(Resolve, ShortBodyWithoutContentTypeIsReadAsAsx) {
    const std::string asx = "[Reference]\r\nRef1=mms://media/short\r\n";
    m_server.Route("/short", HttpResponse::Status(200, "OK", asx + std::string(10239 - asx.size(), ' ')));
    int status = -7;
    EXPECT_EQ(u"mms://media/short", ResolvePath("/short", &status));
    EXPECT_EQ(0, status);
    EXPECT_TRUE(Logged(u"Get ContentType failed!(" + Url("/short") + u")\r\n"));
    // One byte more is no playlist: the address itself, type unknown.
    m_server.Route("/long", HttpResponse::Status(200, "OK", asx + std::string(10240 - asx.size(), ' ')));
    EXPECT_EQ(Url("/long"), ResolvePath("/long", &status));
    EXPECT_EQ(0, status);
    EXPECT_TRUE(Logged(u"ERROR we don't know the mime type: (" + Url("/long") + u")\r\n"));
}

TEST_F(Resolve, EmptyPlayListBodyReportsItsLength) {
    Serve("/empty.pls", "", "audio/x-scpls");
    m_player.PlayList().Add(u"http://left/over");
    int status = -7;
    EXPECT_EQ(Url("/empty.pls"), ResolvePath("/empty.pls", &status));
    EXPECT_EQ(0, status);
    EXPECT_EQ(Texts{}, Candidates());
    EXPECT_TRUE(Logged(u"Download " + Url("/empty.pls") + u" failed(0)!\r\n"));
}

TEST_F(Resolve, PlayListsNamingEachOtherStopAtTheDepthLimit) {
    ServeM3u("/a.m3u", {"/b.m3u"});
    ServeM3u("/b.m3u", {"/a.m3u"});
    int status = -7;
    EXPECT_EQ(u"", ResolvePath("/a.m3u", &status));
    EXPECT_EQ(404, status);
    EXPECT_EQ(size_t(CStationPlayer::kMaxDepth), m_server.RequestCount());
    // Beyond the limit nothing is fetched at all.
    status = -7;
    EXPECT_EQ(u"", ResolvePath("/live", &status, CStationPlayer::kMaxDepth + 1));
    EXPECT_EQ(404, status);
    EXPECT_EQ(size_t(CStationPlayer::kMaxDepth), m_server.RequestCount());
}

TEST_F(Resolve, CachedStreamAddressAnswersWithoutRequestAtTheTopOnly) {
    ServeM3u("/s.m3u", {"/live"});
    m_cache.Add(Url("/s.m3u").c_str(), u"http://cached/stream", CacheEntry::StreamAddress);
    int status = -7;
    EXPECT_EQ(u"http://cached/stream", ResolvePath("/s.m3u", &status));
    EXPECT_EQ(-7, status);
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_EQ(Url("/live"), ResolvePath("/s.m3u", &status, 2));
    EXPECT_EQ(2u, m_server.RequestCount());
    // A downloaded file kept under the address is no stream address.
    WriteDevice("\\logo.png", "png");
    m_cache.Add(Url("/live").c_str(), u"\\logo.png", CacheEntry::DownloadedFile);
    EXPECT_EQ(Url("/live"), ResolvePath("/live", &status));
    EXPECT_EQ(3u, m_server.RequestCount());
}

TEST_F(PlayStation, DirectStreamIsOpenedAsItStandsAfterTheConfiguredVolume) {
    const std::u16string url = u"http://127.0.0.1:1/never?fetched";
    EXPECT_TRUE(Play(url, CRadioChannel::kDirectStream));
    EXPECT_EQ((Texts{u"SetVolume 70 absolute", u"Open " + url}), m_decoder.calls);
    EXPECT_EQ(Texts{}, m_media.calls);
    EXPECT_EQ(0u, m_server.RequestCount());
    EXPECT_EQ((Texts{u"Loading " + url, u"Connecting ......"}), m_status.texts);
    EXPECT_EQ(1, m_status.playingMarks);
    EXPECT_EQ(url, m_player.StreamUrl());
    EXPECT_TRUE(Logged(u"Play:" + url + u"\r\n"));
    ASSERT_EQ(1, m_cache.GetSize());
    EXPECT_EQ(CacheEntry::StreamAddress, m_cache[0].type);
    EXPECT_EQ(url, m_cache[0].url);
    EXPECT_EQ(url, m_cache[0].path);
}

TEST_F(PlayStation, ResolvedStationIsOpenedAndCached) {
    Serve("/s.pls", "[playlist]\nFile1=" + m_server.Url("/live") + "\nTitle1=Radio One\n", "audio/x-scpls");
    EXPECT_TRUE(Play(Url("/s.pls")));
    EXPECT_EQ((Texts{u"Loading " + Url("/s.pls"), u"Loading " + Url("/live"), u"Connecting ......"}),
              m_status.texts);
    EXPECT_EQ((Texts{u"SetVolume 70 absolute", u"Open " + Url("/live")}), m_decoder.calls);
    EXPECT_EQ(70, m_decoder.GetVolume());
    EXPECT_EQ(Texts{}, Candidates());  // the one used is dropped
    CDownloadCache reread;
    ASSERT_EQ(1, reread.Load(u"\\cache.xml"));
    ASSERT_EQ(1, reread.GetSize());
    EXPECT_EQ(Url("/s.pls"), reread[0].url);
    EXPECT_EQ(Url("/live"), reread[0].path);
    EXPECT_EQ(CacheEntry::StreamAddress, reread[0].type);
}

TEST_F(PlayStation, MediaPlayerTakesMmsAndRtspInAnyCase) {
    EXPECT_TRUE(Play(u"RTSP://media/live", CRadioChannel::kDirectStream));
    Serve("/s.asx", "<asx><entry><ref href=\"Mms://media/asx\"/></entry></asx>", "video/x-ms-asf");
    EXPECT_TRUE(Play(Url("/s.asx")));
    // A station address the HTTP client cannot fetch is the stream itself.
    EXPECT_TRUE(Play(u"MMS://media/station"));
    EXPECT_EQ((Texts{u"RTSP://media/live", u"Mms://media/asx", u"MMS://media/station"}), m_media.Opened());
    EXPECT_EQ(Texts{}, m_decoder.calls);
    EXPECT_EQ(1u, m_server.RequestCount());
    Serve("/skip.asx", "<asx><entry ClientSkip=\"yes\"><ref title=\"ad\" href=\"mms://ad\"/></entry></asx>", "video/x-ms-asf");
    EXPECT_TRUE(Play(Url("/skip.asx")));
    EXPECT_EQ((Texts{Url("/skip.asx")}), m_decoder.Opened());
}

TEST_F(PlayStation, RefusedOpenFallsBackToTheNextCandidate) {
    ServeM3u("/s.m3u", {"/live", "/backup", "mms://media/last"});
    m_decoder.refused = {Url("/live")};
    EXPECT_TRUE(Play(Url("/s.m3u")));
    EXPECT_EQ((Texts{Url("/live"), Url("/backup")}), m_decoder.Opened());
    EXPECT_EQ(Texts{}, m_media.calls);
    EXPECT_EQ(0u, m_server.RequestCount("/backup"));  // a fall-back is opened, not fetched
    EXPECT_TRUE(Logged(u"Open failed!"));
    EXPECT_EQ(1, m_status.playingMarks);
    ASSERT_EQ(1, m_cache.GetSize());
    EXPECT_EQ(Url("/backup"), m_cache[0].path);
    EXPECT_EQ((Texts{u"mms://media/last"}), Candidates());
}

TEST_F(PlayStation, CachedAddressThatFailsIsForgottenAndNoLeftoversAreTried) {
    // Each list station leaves two unused candidates behind.
    ServeM3u("/first.m3u", {"/live", "/left1", "/left2"});
    ServeM3u("/third.m3u", {"/live", "/left3", "/left4"});
    EXPECT_TRUE(Play(Url("/first.m3u")));
    const std::u16string second = Url("/second.pls");
    const std::u16string dead = u"http://127.0.0.1:1/dead";
    m_cache.Add(second.c_str(), dead.c_str(), CacheEntry::StreamAddress);
    m_decoder.refused = {dead};
    const size_t requests = m_server.RequestCount();
    EXPECT_FALSE(Play(second));
    EXPECT_EQ(requests, m_server.RequestCount());
    EXPECT_EQ((Texts{Url("/live"), dead}), m_decoder.Opened());
    EXPECT_EQ(u"", m_player.StreamUrl());
    ASSERT_EQ(1, m_cache.GetSize());  // the first station's entry only
    EXPECT_EQ(Url("/first.m3u"), m_cache[0].url);
    EXPECT_EQ(std::string::npos, ReadDevice("\\cache.xml").find("/dead"));
    // A directly playable type leaves no candidates either.
    EXPECT_TRUE(Play(Url("/third.m3u")));
    m_server.Route("/refused", HttpResponse::Text("", "audio/aacp"));
    m_decoder.refused.insert(Url("/refused"));
    EXPECT_FALSE(Play(Url("/refused")));
    EXPECT_EQ((Texts{Url("/live"), dead, Url("/live"), Url("/refused")}), m_decoder.Opened());
    // Next time the station is resolved from the network again.
    Serve("/second.pls", "File1=" + m_server.Url("/live") + "\n", "audio/x-scpls");
    EXPECT_TRUE(Play(second));
    EXPECT_EQ(Url("/live"), m_decoder.Opened().back());
    EXPECT_EQ(1u, m_server.RequestCount("/second.pls"));
}

TEST_F(PlayStation, NothingToPlayShowsCanNotPlay) {
    ServeM3u("/a.m3u", {"/b.m3u"});
    ServeM3u("/b.m3u", {"/a.m3u"});
    EXPECT_FALSE(Play(Url("/a.m3u")));
    ASSERT_FALSE(m_status.texts.empty());
    EXPECT_EQ(u"Loading " + Url("/a.m3u"), m_status.texts.front());
    EXPECT_EQ(u"Can not play the url!", m_status.texts.back());
    EXPECT_EQ(Texts{}, m_decoder.calls);
    EXPECT_EQ(0, m_status.playingMarks);
    EXPECT_EQ(0, m_cache.GetSize());
    EXPECT_EQ(size_t(CStationPlayer::kMaxDepth), m_server.RequestCount());
}

// Each start runs on a worker thread of its own, as in the Now Playing view,
// and the HTTP client carries over from one worker to the next.
TEST_F(PlayStation, RunsOnAFreshWorkerThreadPerStart) {
    ServeM3u("/a.m3u", {"/live"});
    ServeM3u("/b.m3u", {"/missing", "/other"});
    m_server.Route("/other", HttpResponse::Text("", "audio/aacp"));
    for (const std::u16string& url : {Url("/a.m3u"), Url("/b.m3u")}) {
        m_station.url = url;
        struct Work {
            CStationPlayer* player;
            const CRadioChannel* station;
            BOOL played;
        } work{&m_player, &m_station, FALSE};
        HANDLE thread = CreateThread(
            nullptr, 0,
            [](LPVOID parameter) -> DWORD {
                auto* w = static_cast<Work*>(parameter);
                if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
                    return 1;
                w->played = w->player->PlayStation(*w->station);
                CoUninitialize();
                return 0;
            },
            &work, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 30000));
        CloseHandle(thread);
        EXPECT_TRUE(work.played);
    }
    EXPECT_EQ((Texts{Url("/live"), Url("/other")}), m_decoder.Opened());
    EXPECT_EQ(2, m_status.playingMarks);
}

}  // namespace
}  // namespace orvi::test
