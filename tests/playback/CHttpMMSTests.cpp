// Windows Media over HTTP: detection by the first chunk, the payloads the
// reads give, and broken framing.
#include <cstdint>

#include "CHttpMMS.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

class MmsTest : public StreamServerTest {
protected:
    void Serve(const std::string& path, const std::string& body) {
        m_server.Route(path, HttpResponse::Text(body, "application/x-mms-framed"));
    }
    // An "M" chunk, an unprefixed chunk of another type, then the "H" chunk.
    static std::string Head(unsigned char mark = '$') {
        return MmsChunk('M', "meta", 0, mark) + MmsChunk('C', "xx", 0, mark) + MmsChunk('H', "HEADER", 0, mark);
    }
};

using Framing = MmsTest;
using MmsProtocol = MmsTest;

TEST_F(Framing, EitherMarkBecomesAnMmsSourceGivingHeaderThenDataPayloads) {
    for (const int mark : {int('$'), 0xA4}) {
        Serve("/wm", Head(mark) + MmsChunk('D', PatternBytes(0, 60000), 1, mark) +
                         MmsChunk('D', PatternBytes(60000, 60000), 2, mark));
        StreamPtr<> stream = OpenDetected("/wm");
        ASSERT_NE(nullptr, dynamic_cast<CHttpMMS*>(stream.get())) << mark;
        EXPECT_EQ(-1, stream->Seek(0, 0));
        stream->StartReader();
        int last = 1;
        EXPECT_TRUE(ReadAll(*stream, SIZE_MAX, 5000, &last) == "HEADER" + PatternBytes(0, 120000)) << mark;
        EXPECT_EQ(0, last);
    }
}

TEST_F(Framing, BrokenChunksAfterTheHeaderAreFramingErrorsThatClose) {
    Serve("/mark", Head() + MmsChunk('D', "ok", 1) + MmsChunk('D', "a", 2, '#'));
    Serve("/type", Head() + MmsChunk('D', "ok", 1) + MmsChunk('E', "end"));
    Serve("/cut", Head() + MmsChunk('D', "ok", 1) + MmsChunk('D', PatternBytes(0, 100), 2).substr(0, 50));
    Serve("/short", Head() + MmsChunk('D', "ok", 1) + MmsChunkHead('D', 5) + "12345" + MmsChunk('D', "more", 2));
    for (const char* path : {"/mark", "/type", "/cut", "/short"}) {
        StreamPtr<> stream = OpenDetected(path);
        ASSERT_NE(nullptr, dynamic_cast<CHttpMMS*>(stream.get())) << path;
        int last = 0;
        EXPECT_EQ("HEADERok", ReadAll(*stream, SIZE_MAX, 5000, &last)) << path;
        EXPECT_EQ(CHttpMMS::kFramingError, last) << path;
        EXPECT_FALSE(stream->IsConnected()) << path;
    }
}

TEST_F(MmsProtocol, MmsAddressIsRequestedAsHttpWithTheMediaAgentAndABadStreamHeaderFails) {
    Serve("/wm", Head() + MmsChunk('D', PatternBytes(0, 2000), 1));
    Serve("/tiny", MmsChunkHead('M', 3) + "abc" + MmsChunk('H', "HEADER"));
    Serve("/nom", MmsChunk('H', "HEADER") + MmsChunk('D', "x", 1));
    auto input = OpenInput(MmsUrl("/wm"));
    ASSERT_NE(nullptr, input);
    ASSERT_EQ(1u, m_server.RequestCount("/wm"));
    EXPECT_EQ("NSPlayer/10.0.0.3802", m_server.Requests()[0].Header("User-Agent"));
    EXPECT_EQ("1", m_server.Requests()[0].Header("Icy-MetaData"));
    int last = 1;
    EXPECT_EQ("HEADER" + PatternBytes(0, 2000), ReadAll(*input, SIZE_MAX, &last));
    EXPECT_EQ(0, last);
    OpenInput(m_server.Url("/tiny"), CInputProtocol::kErrorOpen);  // detected over "http"
    OpenInput(MmsUrl("/nom"), CInputProtocol::kErrorIo);
}

TEST_F(MmsProtocol, ChunkInterruptedByTheTimeLimitIsResumedWhole) {
    const std::string head = Head();
    RouteWith("/slow", HttpResponse::Text(head + MmsChunk('D', PatternBytes(0, 3000), 1)), [&](auto& r) {
        r.burstBytes = head.size() + 20;
        r.bytesPerSecond = 3000;
    });
    StreamPtr<CHttpMMS> stream(new CHttpMMS);
    ASSERT_EQ(0, stream->Connect(Ascii(MmsUrl("/slow")).c_str(), 10000));
    BYTE buffer[5000];
    ASSERT_EQ(6, stream->Read(buffer, sizeof(buffer), 1000));  // the header payload
    EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 100));  // the chunk is still on its way
    int last = 1;
    EXPECT_EQ(PatternBytes(0, 3000), ReadAll(*stream, SIZE_MAX, 5000, &last));
    EXPECT_EQ(0, last);
}

}  // namespace
}  // namespace orvi::test
