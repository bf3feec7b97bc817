// The input protocols as the decoder engine drives them: choice by scheme,
// reads, seeks and size queries, and their error numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "CHttpShoutCast.h"
#include "CInputProtocol.h"
#include "StreamTestSupport.h"

namespace orvi::test {
namespace {

using Input = std::unique_ptr<CInputProtocol>;

class InputProtocolTest : public StreamServerTest {
protected:
    Input Open(const std::string& url, int expectedError = 0) {
        int error = 12345;
        Input input(CInputProtocol::Open(url.c_str(), &error));
        EXPECT_EQ(expectedError, error) << url;
        EXPECT_EQ(expectedError == 0, input != nullptr) << url;
        return input;
    }
    static std::string ReadSome(CInputProtocol& input, int count) {
        std::string data(static_cast<size_t>(count), '\0');
        int at = 0;
        while (at < count) {
            // At most what FFmpeg asks for at once.
            const int got = input.Read(reinterpret_cast<BYTE*>(data.data()) + at, std::min(count - at, 32768));
            if (got <= 0)
                break;
            at += got;
        }
        data.resize(static_cast<size_t>(at));
        return data;
    }
    static int ReadResult(CInputProtocol& input) {
        BYTE byte;
        return input.Read(&byte, 1);
    }
};

using OpenByScheme = InputProtocolTest;
using HttpInput = InputProtocolTest;
using FileInput = InputProtocolTest;

TEST_F(OpenByScheme, RefusesWhatItCannotOpenWithTheProtocolsNumbers) {
    Open("ftp://127.0.0.1/x", CInputProtocol::kErrorUnknownScheme);
    Open("rtsp://127.0.0.1/x", CInputProtocol::kErrorUnknownScheme);
    Open("", CInputProtocol::kErrorUnknownScheme);
    int error = 0;
    EXPECT_EQ(nullptr, CInputProtocol::Open(nullptr, &error));
    EXPECT_EQ(CInputProtocol::kErrorUnknownScheme, error);
    Open(m_server.Url("/missing"), CInputProtocol::kErrorOpen);
    Open("mms://" + m_server.Url("/missing").substr(7), CInputProtocol::kErrorIo);
    Open("file:\\nothing\\here.mp3", CInputProtocol::kErrorOpen);
    Open("\\nothing\\here.mp3", CInputProtocol::kErrorOpen);
    EXPECT_EQ(2u, m_server.RequestCount("/missing"));
}

TEST_F(OpenByScheme, HttpAddressInAnyCaseGivesTheDetectedStream) {
    HttpResponse icy = HttpResponse::Pattern(20000);
    icy.icy.interval = 4096;
    m_server.Route("/icy", icy);
    Input input = Open("HTTP://" + m_server.Url("/icy").substr(7));
    ASSERT_NE(nullptr, input);
    ASSERT_NE(nullptr, input->HttpStream());
    EXPECT_NE(nullptr, dynamic_cast<CHttpShoutCast*>(input->HttpStream()));
    EXPECT_TRUE(ReadSome(*input, 30000) == PatternBytes(0, 20000));
    EXPECT_EQ(0, ReadResult(*input));
}

TEST_F(HttpInput, SeeksFromStartAndCurrentAndAnswersTheSize) {
    m_server.Route("/file", HttpResponse::Pattern(100000));
    Input input = Open(m_server.Url("/file"));
    ASSERT_NE(nullptr, input);
    EXPECT_EQ(100000, input->Seek(0, CInputProtocol::kSizeQuery));
    EXPECT_EQ(PatternBytes(0, 1000), ReadSome(*input, 1000));
    EXPECT_EQ(1010, input->Seek(10, CInputProtocol::kFromCurrent));
    EXPECT_EQ(PatternBytes(1010, 500), ReadSome(*input, 500));
    EXPECT_EQ(1000, input->Seek(-510, CInputProtocol::kFromCurrent));
    EXPECT_EQ(PatternBytes(1000, 10), ReadSome(*input, 10));
    EXPECT_EQ(0, input->Seek(0, CInputProtocol::kFromStart));
    EXPECT_EQ(-1, input->Seek(-1, CInputProtocol::kFromStart));
    EXPECT_EQ(-1, input->Seek(-5, CInputProtocol::kFromEnd));
    EXPECT_EQ(PatternBytes(0, 100000), ReadSome(*input, 200000));
    EXPECT_EQ(0, ReadResult(*input));
    EXPECT_EQ(1u, m_server.RequestCount());
}

TEST_F(HttpInput, UnknownLengthAndABrokenBody) {
    HttpResponse unframed = HttpResponse::Pattern(5000);
    unframed.framing = Framing::CloseDelimited;
    m_server.Route("/live", unframed);
    Input live = Open(m_server.Url("/live"));
    ASSERT_NE(nullptr, live);
    EXPECT_EQ(-1, live->Seek(0, CInputProtocol::kSizeQuery));

    HttpResponse cut = HttpResponse::Pattern(100000);
    cut.cutAfter = 50000;
    m_server.Route("/cut", cut);
    Input broken = Open(m_server.Url("/cut"));
    ASSERT_NE(nullptr, broken);
    EXPECT_TRUE(ReadSome(*broken, 100000) == PatternBytes(0, 50000));
    EXPECT_EQ(CInputProtocol::kErrorIo, ReadResult(*broken));
}

TEST_F(FileInput, ReadsAndSeeksADeviceFileByEitherForm) {
    std::filesystem::create_directories(m_root.Host("\\Media"));
    WriteHostFile(m_root.Host("\\Media\\song.mp3"), PatternBytes(0, 70000));
    for (const char* url : {"file:\\Media\\song.mp3", "\\media\\SONG.mp3"}) {
        Input input = Open(url);
        ASSERT_NE(nullptr, input) << url;
        EXPECT_EQ(nullptr, input->HttpStream());
        EXPECT_EQ(70000, input->Seek(0, CInputProtocol::kSizeQuery));
        EXPECT_EQ(PatternBytes(0, 100), ReadSome(*input, 100));
        EXPECT_EQ(150, input->Seek(50, CInputProtocol::kFromCurrent));
        EXPECT_EQ(PatternBytes(150, 50), ReadSome(*input, 50));
        EXPECT_EQ(69990, input->Seek(-10, CInputProtocol::kFromEnd));
        EXPECT_EQ(PatternBytes(69990, 10), ReadSome(*input, 100));
        EXPECT_EQ(0, ReadResult(*input));
        EXPECT_EQ(5, input->Seek(5, CInputProtocol::kFromStart));
        EXPECT_EQ(PatternBytes(5, 69995), ReadSome(*input, 80000));
        EXPECT_EQ(-1, input->Seek(0, 7));
    }
}

}  // namespace
}  // namespace orvi::test
