// The input protocols as the decoder engine drives them: choice by scheme,
// reads, seeks and size queries, and their error numbers.
#include <filesystem>

#include "CHttpShoutCast.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using OpenByScheme = StreamServerTest;
using HttpInput = StreamServerTest;
using FileInput = StreamServerTest;

TEST_F(OpenByScheme, RefusesWhatItCannotOpenWithTheProtocolsNumbers) {
    OpenInput("ftp://127.0.0.1/x", CInputProtocol::kErrorUnknownScheme);
    OpenInput("rtsp://127.0.0.1/x", CInputProtocol::kErrorUnknownScheme);
    OpenInput("", CInputProtocol::kErrorUnknownScheme);
    int error = 0;
    EXPECT_EQ(nullptr, CInputProtocol::Open(nullptr, &error));
    EXPECT_EQ(CInputProtocol::kErrorUnknownScheme, error);
    OpenInput(m_server.Url("/missing"), CInputProtocol::kErrorOpen);
    OpenInput(MmsUrl("/missing"), CInputProtocol::kErrorIo);
    OpenInput("file:\\nothing\\here.mp3", CInputProtocol::kErrorOpen);
    OpenInput("\\nothing\\here.mp3", CInputProtocol::kErrorOpen);
    EXPECT_EQ(2u, m_server.RequestCount("/missing"));
}

TEST_F(HttpInput, AnyCaseOfTheSchemeGivesTheDetectedStreamAndABrokenBodyIsAnIoError) {
    RouteWith("/icy", HttpResponse::Pattern(20000), [](auto& r) {
        r.framing = Framing::CloseDelimited;
        r.icy.interval = 4096;
    });
    auto input = OpenInput("HTTP://" + m_server.Url("/icy").substr(7));
    ASSERT_NE(nullptr, input);
    EXPECT_NE(nullptr, dynamic_cast<CHttpShoutCast*>(input->HttpStream()));
    EXPECT_EQ(-1, input->Seek(0, CInputProtocol::kSizeQuery));  // no length
    int last = 1;
    EXPECT_TRUE(ReadAll(*input, 30000, &last) == PatternBytes(0, 20000));
    EXPECT_EQ(0, last);
    RouteWith("/cut", HttpResponse::Pattern(100000), [](auto& r) { r.cutAfter = 50000; });
    input = OpenInput(m_server.Url("/cut"));
    ASSERT_NE(nullptr, input);
    EXPECT_TRUE(ReadAll(*input, 100000, &last) == PatternBytes(0, 50000));
    EXPECT_EQ(CInputProtocol::kErrorIo, last);
}

TEST_F(HttpInput, SeeksFromStartAndCurrentAndAnswersTheSize) {
    m_server.Route("/file", HttpResponse::Pattern(100000));
    auto input = OpenInput(m_server.Url("/file"));
    ASSERT_NE(nullptr, input);
    EXPECT_EQ(100000, input->Seek(0, CInputProtocol::kSizeQuery));
    EXPECT_EQ(PatternBytes(0, 1000), ReadAll(*input, 1000));
    EXPECT_EQ(1010, input->Seek(10, CInputProtocol::kFromCurrent));
    EXPECT_EQ(PatternBytes(1010, 500), ReadAll(*input, 500));
    EXPECT_EQ(1000, input->Seek(-510, CInputProtocol::kFromCurrent));
    EXPECT_EQ(PatternBytes(1000, 10), ReadAll(*input, 10));
    EXPECT_EQ(0, input->Seek(0, CInputProtocol::kFromStart));
    EXPECT_EQ(-1, input->Seek(-1, CInputProtocol::kFromStart));
    EXPECT_EQ(-1, input->Seek(-5, CInputProtocol::kFromEnd));
    int last = 1;
    EXPECT_EQ(PatternBytes(0, 100000), ReadAll(*input, 200000, &last));
    EXPECT_EQ(0, last);
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(FileInput, ReadsAndSeeksADeviceFileByEitherForm) {
    std::filesystem::create_directories(m_root.Host("\\Media"));
    WriteHostFile(m_root.Host("\\Media\\song.mp3"), PatternBytes(0, 70000));
    for (const char* url : {"file:\\Media\\song.mp3", "\\media\\SONG.mp3"}) {
        auto input = OpenInput(url);
        ASSERT_NE(nullptr, input) << url;
        EXPECT_EQ(70000, input->Seek(0, CInputProtocol::kSizeQuery));
        EXPECT_EQ(PatternBytes(0, 100), ReadAll(*input, 100));
        EXPECT_EQ(150, input->Seek(50, CInputProtocol::kFromCurrent));
        EXPECT_EQ(PatternBytes(150, 50), ReadAll(*input, 50));
        EXPECT_EQ(69990, input->Seek(-10, CInputProtocol::kFromEnd));
        int last = 1;
        EXPECT_EQ(PatternBytes(69990, 10), ReadAll(*input, 100, &last));
        EXPECT_EQ(0, last);
        EXPECT_EQ(5, input->Seek(5, CInputProtocol::kFromStart));
        EXPECT_EQ(PatternBytes(5, 69995), ReadAll(*input, 80000));
        EXPECT_EQ(-1, input->Seek(0, 7));
    }
}

}  // namespace
}  // namespace orvi::test
