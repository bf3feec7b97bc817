// ICY streams: metadata taken out of the audio, titles for the engine, and
// ICY headers in the response or inside the data.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "CHttpShoutCast.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using Titles = std::vector<std::u16string>;

class ShoutCastTest : public StreamServerTest {
protected:
    // An "ICY 200 OK" stream of `size` pattern bytes with metadata every
    // `interval` bytes.
    HttpResponse Icy(std::uint64_t size, std::size_t interval, std::vector<std::string> blocks) {
        HttpResponse response = HttpResponse::Pattern(size, "audio/mpeg");
        response.statusLine = "ICY 200 OK";
        response.framing = Framing::CloseDelimited;
        response.icy.interval = interval;
        response.icy.blocks = std::move(blocks);
        return response;
    }
    CHttpShoutCast* AsIcy(const StreamPtr<>& stream) {
        auto* icy = dynamic_cast<CHttpShoutCast*>(stream.get());
        EXPECT_NE(nullptr, icy);
        return icy;
    }

    RecordingStreamEngine m_engine;
};

using Metadata = ShoutCastTest;
using Headers = ShoutCastTest;

TEST_F(Metadata, IcyStreamDeliversPureAudioAndTheTitleWithoutQuotes) {
    m_server.Route("/icy", Icy(50000, 8192, {IcyTitle("Artist - Song")}));
    StreamPtr<> stream = OpenDetected("/icy");
    ASSERT_NE(nullptr, AsIcy(stream));
    EXPECT_EQ(8192u, AsIcy(stream)->MetadataInterval());
    stream->SetEngine(&m_engine);
    EXPECT_TRUE(ReadAll(*stream, 60000, 5000) == PatternBytes(0, 50000));
    // The empty block after it uses the text once more, then empties it.
    EXPECT_EQ((Titles{u"Artist - Song", u"Artist - Song"}), m_engine.Titles());
    EXPECT_EQ(std::vector<DWORD>(2, GetCurrentThreadId()), m_engine.Threads());
}

TEST_F(Metadata, EmptyBlocksKeepTheAudioWholeAndShowTheStationNameOnceAfterBinding) {
    HttpResponse response = Icy(50000, 8192, {"", "", IcyTitle("Next")});
    response.Header("icy-name", "My Station");
    m_server.Route("/icy", response);
    StreamPtr<> stream = OpenDetected("/icy");
    ASSERT_NE(nullptr, AsIcy(stream));
    // Block 0 passes before the engine is bound (probing): the name waits.
    std::string audio = ReadAll(*stream, 10000);
    stream->SetEngine(&m_engine);
    audio += ReadAll(*stream, 60000, 3000);
    EXPECT_TRUE(audio == PatternBytes(0, 50000));
    EXPECT_EQ((Titles{u"My Station", u"Next", u"Next"}), m_engine.Titles());
}

TEST_F(Metadata, TextWithoutStreamTitleIsTheTitleWholeInTheAnsiCodePage) {
    const std::string longTitle(600, 'x');
    const std::vector<std::string> blocks = {"Just some \xE9text", "", IcyTitle(longTitle),
                                             "StreamTitle=  'Caf\xE9';StreamUrl='u';"};
    m_server.Route("/icy", Icy(40000, 8192, blocks));
    StreamPtr<> stream = OpenDetected("/icy");
    stream->SetEngine(&m_engine);
    EXPECT_TRUE(ReadAll(*stream, 60000) == PatternBytes(0, 40000));
    const Titles titles = m_engine.Titles();
    ASSERT_EQ(4u, titles.size());
    EXPECT_EQ(u"Just some \u00E9text", titles[0]);
    EXPECT_EQ(u"Just some \u00E9text", titles[1]);
    EXPECT_EQ(std::u16string(511, u'x'), titles[2]);
    EXPECT_EQ(u"Caf\u00E9", titles[3]);
}

TEST_F(Metadata, TitlesComeOnTheConsumerThreadOnceTheReaderRuns) {
    m_server.Route("/icy", Icy(100000, 8192, {IcyTitle("One"), IcyTitle("Two")}));
    StreamPtr<> stream = OpenDetected("/icy");
    stream->SetEngine(&m_engine);
    stream->StartReader();
    std::string audio;
    DWORD consumerId = 0;
    StreamThread consumer([&] {
        consumerId = GetCurrentThreadId();
        audio = ReadAll(*stream, 200000, 4096);
    });
    ASSERT_TRUE(consumer.Join(30000));
    EXPECT_TRUE(audio == PatternBytes(0, 100000));
    EXPECT_EQ((Titles{u"One", u"Two", u"Two"}), m_engine.Titles());
    EXPECT_EQ(std::vector<DWORD>(3, consumerId), m_engine.Threads());
}

TEST_F(Metadata, BlockCutShortByTheEndIsAFramingError) {
    const std::string body = PatternBytes(0, 8) + "\x02" + "StreamTitle='x'";
    HttpResponse response = HttpResponse::Raw("ICY 200 OK\r\nicy-metaint: 8\r\n\r\n" + body);
    m_server.Route("/cut", response);
    StreamPtr<> stream = OpenDetected("/cut");
    ASSERT_NE(nullptr, AsIcy(stream));
    BYTE buffer[100];
    ASSERT_EQ(8, stream->Read(buffer, sizeof(buffer), 5000));
    EXPECT_EQ(PatternBytes(0, 8), std::string(reinterpret_cast<char*>(buffer), 8));
    EXPECT_EQ(CHttpShoutCast::kFramingError, stream->Read(buffer, sizeof(buffer), 5000));
    EXPECT_EQ(CHttpShoutCast::kFramingError, stream->Read(buffer, sizeof(buffer), 5000));
}

TEST_F(Headers, InsideTheDataAfterAnHttpStatus) {
    HttpResponse response = HttpResponse::Pattern(40000);
    response.bodyPrefix = "ICY 200 OK\r\nicy-metaint:8192\r\nicy-name:Inline\r\n\r\n";
    response.icy.interval = 8192;
    response.icy.announce = false;
    response.icy.blocks = {"", IcyTitle("In Band")};
    m_server.Route("/front", response);
    StreamPtr<> stream = OpenDetected("/front");
    ASSERT_NE(nullptr, AsIcy(stream));
    EXPECT_EQ(8192u, AsIcy(stream)->MetadataInterval());
    stream->SetEngine(&m_engine);
    EXPECT_TRUE(ReadAll(*stream, 20000) == PatternBytes(0, 20000));
    // Back to the start: the header block is skipped again.
    EXPECT_EQ(0, stream->Seek(0, 0));
    EXPECT_TRUE(ReadAll(*stream, 60000) == PatternBytes(0, 40000));
    EXPECT_EQ(1u, m_server.RequestCount());
    // Each pass shows the station name at its first empty block.
    EXPECT_EQ((Titles{u"Inline", u"In Band", u"Inline", u"In Band", u"In Band"}), m_engine.Titles());
}

TEST_F(Headers, SkippingStopsAtTheEndOfTheBufferedBytes) {
    // No empty line ends the block: every byte there is belongs to it.
    const std::string body = "ICY 200 OK\nicy-metaint:16\nx-pad: " + std::string(200, 'y') + "\r";
    m_server.Route("/open", HttpResponse::Text(body, "audio/mpeg"));
    StreamPtr<> stream = OpenDetected("/open");
    ASSERT_NE(nullptr, AsIcy(stream));
    EXPECT_EQ(16u, AsIcy(stream)->MetadataInterval());
    EXPECT_EQ(body.size(), stream->Position());
    BYTE buffer[64];
    EXPECT_EQ(0, stream->Read(buffer, sizeof(buffer), 5000));
}

TEST_F(Headers, IcyHeadWithoutIntervalLeavesThePlainStreamAtItsStart) {
    const std::string body = "ICY 200 OK\r\nicy-name: x\r\n\r\n" + PatternBytes(0, 1000);
    m_server.Route("/noint", HttpResponse::Text(body, "audio/mpeg"));
    StreamPtr<> stream = OpenDetected("/noint");
    EXPECT_EQ(typeid(CHttpStreamBuffer), typeid(*stream));
    EXPECT_EQ(body, ReadAll(*stream, 5000));
}

TEST_F(Headers, SeekGoesOnlyToTheStart) {
    m_server.Route("/icy", Icy(30000, 4096, {}));
    StreamPtr<> stream = OpenDetected("/icy");
    ASSERT_NE(nullptr, AsIcy(stream));
    EXPECT_TRUE(ReadAll(*stream, 10000) == PatternBytes(0, 10000));
    EXPECT_EQ(-1, stream->Seek(100, 0));
    EXPECT_EQ(-1, stream->Seek(0, 99));
    EXPECT_EQ(0, stream->Seek(0, 0));
    EXPECT_TRUE(ReadAll(*stream, 40000) == PatternBytes(0, 30000));
    EXPECT_EQ(1u, m_server.RequestCount());
}

}  // namespace
}  // namespace orvi::test
