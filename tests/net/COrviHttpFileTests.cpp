// COrviHttp downloads into files: time stamps, replacing the local copy only
// with a complete body.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "COrviHttp.h"
#include "LogTestSupport.h"
#include "TestHttpServer.h"
#include "TestSupport.h"

using orvi::test::Ascii;
using orvi::test::HttpResponse;

namespace {

// 2023-11-14 22:13:20 UTC: twenty seconds into its minute, so 3 and 10
// seconds later fall inside and outside the tolerance within one minute.
constexpr std::time_t kServerTime = 1700000000;

FILETIME ToFileTime(std::time_t when) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(when) + 11644473600ULL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

class FileTest : public orvi::test::DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    void WriteLocal(const std::string& bytes, std::time_t stamp) {
        orvi::test::WriteHostFile(m_root.Host("\\local.dat"), bytes);
        HANDLE file = CreateFileW(kLocal, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        const FILETIME time = ToFileTime(stamp);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
    }
    ULONGLONG LocalStamp() {
        HANDLE file = CreateFileW(kLocal, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        FILETIME time{};
        EXPECT_TRUE(GetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
        return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    }
    std::string Local() { return orvi::test::ReadHostFile(m_root.Host("\\local.dat")); }
    bool HostExists(const char* path) { return orvi::test::HostFileExists(m_root.Host(path)); }

    static constexpr WCHAR kLocal[] = u"\\local.dat";
    orvi::test::TestHttpServer m_server;
    COrviHttp m_http;
};

class DownloadFile : public FileTest {};
class SaveBodyToFile : public FileTest {};

TEST_F(DownloadFile, LocalCopyWithinFiveSecondsIsCurrentAndUntouched) {
    m_server.Route("/list.xml", HttpResponse::Text("new contents").LastModified(kServerTime));
    WriteLocal("old contents", kServerTime + 3);
    const ULONGLONG before = LocalStamp();
    EXPECT_EQ(2, m_http.DownloadFile(Url("/list.xml").c_str(), kLocal, FALSE));
    EXPECT_EQ("old contents", Local());
    EXPECT_EQ(before, LocalStamp());
    EXPECT_EQ(1u, m_server.RequestCount("/list.xml"));
}

TEST_F(DownloadFile, LocalCopyTenSecondsOffIsDownloadedAndStamped) {
    m_server.Route("/list.xml", HttpResponse::Text("new contents").LastModified(kServerTime));
    WriteLocal("old contents", kServerTime + 10);
    EXPECT_EQ(200, m_http.DownloadFile(Url("/list.xml").c_str(), kLocal, FALSE));
    EXPECT_EQ("new contents", Local());
    const FILETIME expected = ToFileTime(kServerTime);
    EXPECT_EQ((ULONGLONG{expected.dwHighDateTime} << 32) | expected.dwLowDateTime, LocalStamp());
    EXPECT_FALSE(HostExists("\\local.dat.part"));
}

TEST_F(DownloadFile, EmptyUrlAndServerErrorsAreReturned) {
    m_server.Route("/gone", HttpResponse::Status(500, "Server Error", "oops"));
    WriteLocal("old contents", kServerTime);
    EXPECT_EQ(-20, m_http.DownloadFile(u"", kLocal, FALSE));
    EXPECT_EQ(500, m_http.DownloadFile(Url("/gone").c_str(), kLocal, FALSE));
    EXPECT_EQ("old contents", Local());
}

TEST_F(DownloadFile, BodyCutShortKeepsTheOldCopy) {
    HttpResponse response = HttpResponse::Pattern(100000);
    response.cutAfter = 30000;
    m_server.Route("/cut", response);
    WriteLocal("offline copy", kServerTime);
    const int result = m_http.DownloadFile(Url("/cut").c_str(), kLocal, FALSE);
    EXPECT_EQ(-17, result);
    EXPECT_EQ("offline copy", Local());
    EXPECT_FALSE(HostExists("\\local.dat.part"));
}

TEST_F(SaveBodyToFile, WritesWholeBodyAndCreatesMissingFile) {
    HttpResponse response = HttpResponse::Pattern(70001);
    response.framing = orvi::test::Framing::Chunked;
    m_server.Route("/data", response);
    ASSERT_EQ(200, m_http.SendGet(Url("/data").c_str()));
    EXPECT_EQ(70001, m_http.SaveBodyToFile(kLocal));
    EXPECT_EQ(orvi::test::PatternBytes(0, 70001), Local());
    EXPECT_EQ(nullptr, m_http.RequestHandle());
    EXPECT_EQ(-17, m_http.SaveBodyToFile(kLocal));
}

TEST_F(SaveBodyToFile, EmptyBodyOrUnwritablePathKeepsExistingFile) {
    m_server.Route("/empty", HttpResponse::Text(""));
    m_server.Route("/data", HttpResponse::Text("data"));
    WriteLocal("kept", kServerTime);
    ASSERT_EQ(200, m_http.SendGet(Url("/empty").c_str()));
    EXPECT_EQ(0, m_http.SaveBodyToFile(kLocal));
    EXPECT_EQ("kept", Local());
    ASSERT_EQ(200, m_http.SendGet(Url("/data").c_str()));
    EXPECT_EQ(-18, m_http.SaveBodyToFile(u"\\no such folder\\x.dat"));
    EXPECT_EQ(nullptr, m_http.RequestHandle());
}

}  // namespace
