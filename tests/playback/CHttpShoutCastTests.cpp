// ICY streams: metadata taken out of the audio, titles for the engine, and
// ICY headers in the response or inside the data.
#include "CHttpShoutCast.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

// Titles reach the engine on the consumer's thread: here the test's own.
struct RecordingStreamEngine : IStreamEngine {
    void SetStreamTitle(LPCWSTR pszTitle) override {
        titles += (titles.empty() ? u"" : u"|") + std::u16string(pszTitle);
        threads.push_back(GetCurrentThreadId());
    }
    std::u16string titles;  // joined by "|"
    std::vector<DWORD> threads;
};

class ShoutCastTest : public StreamServerTest {
protected:
    // An "ICY 200 OK" stream of pattern bytes with metadata every `interval` bytes.
    static HttpResponse Icy(std::uint64_t size, std::size_t interval, std::vector<std::string> blocks) {
        HttpResponse response = HttpResponse::Pattern(size, "audio/mpeg");
        response.statusLine = "ICY 200 OK";
        response.framing = Framing::CloseDelimited;
        response.icy.interval = interval;
        response.icy.blocks = std::move(blocks);
        return response;
    }
    // Opens `path`, which must give an ICY source with that interval.
    StreamPtr<> OpenIcy(const std::string& path, DWORD interval) {
        StreamPtr<> stream = OpenDetected(path);
        auto* icy = dynamic_cast<CHttpShoutCast*>(stream.get());
        EXPECT_EQ(interval, icy ? icy->MetadataInterval() : 0) << path;
        if (!icy)
            stream.reset();
        return stream;
    }

    RecordingStreamEngine m_engine;
};

using Metadata = ShoutCastTest;
using Headers = ShoutCastTest;

TEST_F(Metadata, ReaderDeliversPureAudioAndTheTitleWithoutQuotesOnTheConsumerThread) {
    m_server.Route("/icy", Icy(100000, 8192, {IcyTitle("Artist - Song")}));
    StreamPtr<> stream = OpenIcy("/icy", 8192);
    ASSERT_TRUE(stream);
    stream->SetEngine(&m_engine);
    stream->StartReader();
    const std::string audio = ReadAll(*stream, 200000, 5000);
    EXPECT_TRUE(audio == PatternBytes(0, 100000)) << audio.size();
    // The empty block after it uses the text once more, then empties it.
    EXPECT_EQ(u"Artist - Song|Artist - Song", m_engine.titles);
    EXPECT_EQ(std::vector<DWORD>(2, GetCurrentThreadId()), m_engine.threads);
}

// Empty blocks keep the audio whole; the station name shows at the first
// one after binding; a text without "StreamTitle=" is the title whole.
TEST_F(Metadata, StationNameOnceAfterBindingThenEachBlocksTitleInTheAnsiCodePage) {
    const std::vector<std::string> blocks = {"", "", "Just some \xE9text", "", IcyTitle(std::string(600, 'x')),
                                             "StreamTitle=  'Caf\xE9';StreamUrl='u';"};
    m_server.Route("/icy", Icy(60000, 8192, blocks).Header("icy-name", "My Station"));
    StreamPtr<> stream = OpenIcy("/icy", 8192);
    ASSERT_TRUE(stream);
    std::string audio = ReadAll(*stream, 10000);  // block 0 passes before the engine is bound: the name waits
    stream->SetEngine(&m_engine);
    audio += ReadAll(*stream, 60000, 3000);
    EXPECT_TRUE(audio == PatternBytes(0, 60000));
    EXPECT_EQ(u"My Station|Just some \u00E9text|Just some \u00E9text|" + std::u16string(511, u'x') +
                  u"|Caf\u00E9|Caf\u00E9",
              m_engine.titles);
}

TEST_F(Metadata, BlockCutShortByTheEndIsAFramingError) {
    const std::string body = PatternBytes(0, 8) + "\x02" + "StreamTitle='x'";
    m_server.Route("/cut", HttpResponse::Raw("ICY 200 OK\r\nicy-metaint: 8\r\n\r\n" + body));
    StreamPtr<> stream = OpenIcy("/cut", 8);
    ASSERT_TRUE(stream);
    int last = 1;
    EXPECT_EQ(PatternBytes(0, 8), ReadAll(*stream, 100, 100, &last));
    EXPECT_EQ(CHttpShoutCast::kFramingError, last);
    EXPECT_EQ("", ReadAll(*stream, 100, 100, &last));
    EXPECT_EQ(CHttpShoutCast::kFramingError, last);
}

TEST_F(Headers, InsideTheDataAfterAnHttpStatusAndAgainAfterASeekToTheStart) {
    HttpResponse response = HttpResponse::Pattern(40000);
    response.bodyPrefix = "ICY 200 OK\r\nicy-metaint:8192\r\nicy-name:Inline\r\n\r\n";
    response.icy.interval = 8192;
    response.icy.announce = false;
    response.icy.blocks = {"", IcyTitle("In Band")};
    m_server.Route("/front", response);
    StreamPtr<> stream = OpenIcy("/front", 8192);
    ASSERT_TRUE(stream);
    stream->SetEngine(&m_engine);
    EXPECT_TRUE(ReadAll(*stream, 20000) == PatternBytes(0, 20000));
    EXPECT_EQ(-1, stream->Seek(100, 0));
    EXPECT_EQ(-1, stream->Seek(0, 99));
    EXPECT_EQ(0, stream->Seek(0, 0));
    EXPECT_TRUE(ReadAll(*stream, 60000) == PatternBytes(0, 40000));
    EXPECT_EQ(1u, m_server.RequestCount());
    // Each pass shows the station name at its first empty block.
    EXPECT_EQ(u"Inline|In Band|Inline|In Band|In Band", m_engine.titles);
}

TEST_F(Headers, BlockEndsWithTheBufferedBytesAndWithoutAnIntervalThePlainStreamStaysWhole) {
    // No empty line ends the block: every byte there is belongs to it.
    const std::string open = "ICY 200 OK\nicy-metaint:16\nx-pad: " + std::string(200, 'y') + "\r";
    m_server.Route("/open", HttpResponse::Text(open, "audio/mpeg"));
    StreamPtr<> stream = OpenIcy("/open", 16);
    ASSERT_TRUE(stream);
    EXPECT_EQ(open.size(), stream->Position());
    EXPECT_EQ("", ReadAll(*stream, 64));
    const std::string plain = "ICY 200 OK\r\nicy-name: x\r\n\r\n" + PatternBytes(0, 1000);
    m_server.Route("/noint", HttpResponse::Text(plain, "audio/mpeg"));
    stream = OpenDetected("/noint");
    EXPECT_EQ(typeid(CHttpStreamBuffer), typeid(*stream));
    EXPECT_EQ(plain, ReadAll(*stream, 5000));
}

}  // namespace
}  // namespace orvi::test
