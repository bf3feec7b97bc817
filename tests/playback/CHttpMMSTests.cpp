// Windows Media over HTTP: detection by the first chunk, the payloads the
// reads give, and broken framing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "CHttpMMS.h"
#include "CInputProtocol.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;

class MmsTest : public StreamServerTest {
protected:
    void Serve(const std::string& path, const std::string& body) {
        m_server.Route(path, HttpResponse::Text(body, "application/x-mms-framed"));
    }
    // The stream header of every test: an "M" chunk, an unprefixed chunk
    // of another type, then the "H" chunk.
    static std::string Head(unsigned char mark = '$') {
        return MmsChunk('M', "meta", 0, mark) + MmsChunk('C', "xx", 0, mark) + MmsChunk('H', "HEADER", 0, mark);
    }
    // Reads through any source until it ends or fails; *last gets the
    // result that ended it.
    template <class Source>
    static std::string DrainBy(Source read, int* last) {
        std::string data;
        BYTE buffer[5000];
        int got;
        while ((got = read(buffer, static_cast<int>(sizeof(buffer)))) > 0)
            data.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(got));
        *last = got;
        return data;
    }
    static std::string Drain(CHttpStream& stream, int* last, DWORD limitMs = 10000) {
        return DrainBy([&](BYTE* p, int n) { return stream.Read(p, n, limitMs); }, last);
    }
};

using Framing = MmsTest;
using MmsProtocol = MmsTest;

TEST_F(Framing, DollarMStartBecomesAnMmsSourceGivingHeaderThenDataPayloads) {
    Serve("/wm", Head() + MmsChunk('D', PatternBytes(0, 1000), 1) + MmsChunk('D', PatternBytes(1000, 3000), 2));
    StreamPtr<> stream = OpenDetected("/wm");
    auto* mms = dynamic_cast<CHttpMMS*>(stream.get());
    ASSERT_NE(nullptr, mms);
    EXPECT_EQ('H', mms->ChunkType());
    int last = 1;
    EXPECT_EQ("HEADER" + PatternBytes(0, 4000), Drain(*stream, &last));
    EXPECT_EQ(0, last);
    EXPECT_EQ(-1, stream->Seek(0, 0));
}

TEST_F(Framing, MarkA4WorksLikeDollarAndTheReaderServesIt) {
    const std::string body = Head(0xA4) + MmsChunk('D', PatternBytes(0, 60000), 1, 0xA4) +
                             MmsChunk('D', PatternBytes(60000, 60000), 2, 0xA4);
    Serve("/wm", body);
    StreamPtr<> stream = OpenDetected("/wm");
    ASSERT_NE(nullptr, dynamic_cast<CHttpMMS*>(stream.get()));
    stream->StartReader();
    std::string data;
    int last = 1;
    StreamThread consumer([&] { data = Drain(*stream, &last); });
    ASSERT_TRUE(consumer.Join(30000));
    EXPECT_TRUE(data == "HEADER" + PatternBytes(0, 120000)) << data.size();
    EXPECT_EQ(0, last);
}

TEST_F(Framing, ChunkShorterThanItsPrefixIsAFramingError) {
    Serve("/short", Head() + MmsChunk('D', "ok", 1) + MmsChunkHead('D', 5) + "12345" + MmsChunk('D', "more", 2));
    StreamPtr<> stream = OpenDetected("/short");
    ASSERT_NE(nullptr, dynamic_cast<CHttpMMS*>(stream.get()));
    int last = 0;
    EXPECT_EQ("HEADERok", Drain(*stream, &last));
    EXPECT_EQ(CHttpMMS::kFramingError, last);
    EXPECT_FALSE(stream->IsConnected());
}

TEST_F(Framing, BadMarkOtherTypesAfterTheHeaderAndCutChunksAreFramingErrors) {
    Serve("/mark", Head() + MmsChunk('D', "a", 1, '#'));
    Serve("/type", Head() + MmsChunk('E', "end"));
    Serve("/cut", Head() + MmsChunk('D', PatternBytes(0, 100), 1).substr(0, 50));
    for (const char* path : {"/mark", "/type", "/cut"}) {
        StreamPtr<> stream = OpenDetected(path);
        ASSERT_NE(nullptr, dynamic_cast<CHttpMMS*>(stream.get())) << path;
        int last = 0;
        EXPECT_EQ("HEADER", Drain(*stream, &last)) << path;
        EXPECT_EQ(CHttpMMS::kFramingError, last) << path;
    }
}

TEST_F(Framing, BrokenStreamHeaderLeavesNoSource) {
    Serve("/tiny", MmsChunkHead('M', 3) + "abc" + MmsChunk('H', "HEADER"));
    int error = 0;
    EXPECT_EQ(nullptr, CInputProtocol::Open(m_server.Url("/tiny").c_str(), &error));
    EXPECT_EQ(CInputProtocol::kErrorOpen, error);
}

TEST_F(MmsProtocol, MmsAddressIsRequestedAsHttpWithTheMediaAgent) {
    Serve("/wm", Head() + MmsChunk('D', PatternBytes(0, 2000), 1));
    const std::string url = "mms://" + m_server.Url("/wm").substr(7);
    int error = 1;
    std::unique_ptr<CInputProtocol> input(CInputProtocol::Open(url.c_str(), &error));
    ASSERT_NE(nullptr, input);
    EXPECT_EQ(0, error);
    ASSERT_EQ(1u, m_server.RequestCount("/wm"));
    const HttpRequest request = m_server.Requests()[0];
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("/wm", request.target);
    EXPECT_EQ("NSPlayer/10.0.0.3802", request.Header("User-Agent"));
    EXPECT_EQ("1", request.Header("Icy-MetaData"));
    EXPECT_EQ(nullptr, input->HttpStream());
    int last = 1;
    EXPECT_EQ("HEADER" + PatternBytes(0, 2000), DrainBy([&](BYTE* p, int n) { return input->Read(p, n); }, &last));
    EXPECT_EQ(0, last);
    EXPECT_EQ(-1, input->Seek(0, CInputProtocol::kFromStart));
    EXPECT_EQ(-1, input->Seek(0, CInputProtocol::kSizeQuery));
}

TEST_F(MmsProtocol, HeaderOtherThanMOrAMissingResourceFailsTheOpen) {
    Serve("/nom", MmsChunk('H', "HEADER") + MmsChunk('D', "x", 1));
    int error = 0;
    EXPECT_EQ(nullptr, CInputProtocol::Open(("mms://" + m_server.Url("/nom").substr(7)).c_str(), &error));
    EXPECT_EQ(CInputProtocol::kErrorIo, error);
    error = 0;
    EXPECT_EQ(nullptr, CInputProtocol::Open(("mms://" + m_server.Url("/missing").substr(7)).c_str(), &error));
    EXPECT_EQ(CInputProtocol::kErrorIo, error);
}

TEST_F(MmsProtocol, ChunkInterruptedByTheTimeLimitIsResumedWhole) {
    const std::string head = Head();
    HttpResponse paced = HttpResponse::Text(head + MmsChunk('D', PatternBytes(0, 3000), 1), "application/x-mms-framed");
    paced.burstBytes = head.size() + 20;
    paced.bytesPerSecond = 3000;
    m_server.Route("/slow", paced);
    StreamPtr<CHttpMMS> stream(new CHttpMMS);
    ASSERT_EQ(0, stream->Connect(Ascii("mms://" + m_server.Url("/slow").substr(7)).c_str(), 10000));
    BYTE buffer[5000];
    ASSERT_EQ(6, stream->Read(buffer, sizeof(buffer), 1000));  // the header payload
    EXPECT_EQ(-1, stream->Read(buffer, sizeof(buffer), 100));  // the chunk is still on its way
    int last = 1;
    EXPECT_EQ(PatternBytes(0, 3000), Drain(*stream, &last));
    EXPECT_EQ(0, last);
}

}  // namespace
}  // namespace orvi::test
