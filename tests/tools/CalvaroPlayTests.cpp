// The headless player run as a program against the local server: it plays
// an ICY station into a WAV file and prints what it saw.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "TestAudio.h"
#include "TestHttpServer.h"
#include "TestSupport.h"

namespace {

using namespace orvi::test;

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CalvaroPlay : public DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }

    // Runs calvaro-play with args; its exit code, its output in *out.
    int Run(const std::vector<std::string>& args, std::string* out) {
        const std::string outPath = m_root.HostPath() + "/stdout.txt";
        ChildProcess child(ProgramLaunch{CALVARO_PLAY_PATH, args, {}, {}, outPath});
        const int code = child.Wait(60000);
        *out = ReadHostFile(outPath);
        return code;
    }

    TestHttpServer m_server;
};

TEST_F(CalvaroPlay, PlaysAnIcyStationIntoAWavFileAndPrintsItsTitles) {
    ToneFormat tone;
    tone.seconds = 8.0;
    HttpResponse station;
    station.statusLine = "ICY 200 OK";
    station.headers = {{"Content-Type", "audio/mpeg"}, {"icy-name", "Test Radio"}};
    station.body = EncodeTone(tone);
    station.framing = Framing::CloseDelimited;
    // Sent at twice the bit rate, so that the titles arrive a second apart
    // even though the file sink plays as fast as it gets audio. The first
    // blocks pass while the stream is probed.
    station.bytesPerSecond = 32000;
    station.icy.interval = 8192;
    station.icy.blocks = std::vector<std::string>(5, "");
    station.icy.blocks.resize(9, IcyTitle("First - Song"));
    station.icy.blocks.resize(20, IcyTitle("Second - Song"));
    m_server.Route("/station", station);
    const std::string wav = m_root.HostPath() + "/out.wav";
    std::string out;
    ASSERT_EQ(0, Run({"--sink", "file:" + wav, m_server.Url("/station")}, &out)) << out;
    EXPECT_NE(std::string::npos, out.find("status: Loading " + m_server.Url("/station") + "\n")) << out;
    EXPECT_NE(std::string::npos, out.find("state: playing\n")) << out;
    const size_t first = out.find("title: First - Song\n");
    const size_t second = out.find("title: Second - Song\n");
    ASSERT_NE(std::string::npos, first) << out;
    ASSERT_NE(std::string::npos, second) << out;
    EXPECT_LT(first, second);
    EXPECT_EQ(out.find("title: First - Song\n"), out.rfind("title: First - Song\n"));  // once per change
    EXPECT_NE(std::string::npos, out.find("state: stopped\n")) << out;
    const WavFile played = ReadWavFile(wav);
    EXPECT_TRUE(played.valid);
    EXPECT_NEAR(8.0, played.Seconds(), 0.15);
    EXPECT_NEAR(440.0, ZeroCrossingFrequency(played), 3.0);
}

TEST_F(CalvaroPlay, StopsAfterTheSecondsAskedForAndFailsOnNothingToPlay) {
    ToneFormat tone;
    tone.seconds = 20.0;
    m_server.Route("/long.mp3", HttpResponse::Text(EncodeTone(tone), "audio/mpeg"));
    // The null sink plays in real time, so the stop comes long before the end.
    const auto start = std::chrono::steady_clock::now();
    std::string out;
    ASSERT_EQ(0, Run({"--sink", "null", "--seconds", "2", "--direct", m_server.Url("/long.mp3")}, &out)) << out;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(2));
    EXPECT_LT(elapsed, std::chrono::seconds(15));
    EXPECT_NE(std::string::npos, out.find("state: playing\n")) << out;
    m_server.Route("/gone", HttpResponse::NotFound());
    EXPECT_EQ(1, Run({"--sink", "null", m_server.Url("/gone")}, &out));
    EXPECT_NE(std::string::npos, out.find("status: Can not play the url!\n")) << out;
    EXPECT_EQ(2, Run({"--sink"}, &out));
}

}  // namespace
