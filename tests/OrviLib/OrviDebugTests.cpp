#include <filesystem>
#include <cstdio>
#include <thread>
#include <vector>

#include "LogTestSupport.h"

using orvi::test::Ascii;
using orvi::test::FromUtf16Bytes;
using orvi::test::kByteOrderMark;
using orvi::test::kFixedStamp;
using orvi::test::ReadHostFile;
using orvi::test::Utf16Bytes;
using orvi::test::WriteHostFile;

// The fixtures carry the names of the functions they test, so inside this
// namespace the functions are called as ::Log and ::SetLogFile.
namespace log_tests {

class FormatLogLine : public ::testing::Test {
protected:
    void TearDown() override { OrviDebugSetClockForTest(nullptr, 0); }

    static std::u16string Line(LPCWSTR format, const auto&... args) {
        const orvi::fmt::Arg list[] = {orvi::fmt::MakeArg(args)..., orvi::fmt::Arg{}};
        std::u16string line;
        ::FormatLogLine(&line, format, list, sizeof...(args));
        return line;
    }
};

TEST_F(FormatLogLine, KnownTimeGivesTheDeviceStamp) {
    OrviDebugSetClockForTest(&orvi::test::kFixedTime, orvi::test::kFixedTick);
    EXPECT_EQ(Line(u"x\r\n"), u"2009-02-13 08:05:09 (123456)\tx\r\n");
}

TEST_F(FormatLogLine, StampComesFromTheLocalTimeAndTickCount) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    DWORD tickBefore = GetTickCount();
    std::u16string line = Line(u"now");
    DWORD tickAfter = GetTickCount();
    GetLocalTime(&after);
    std::string narrow(line.begin(), line.end());
    int year, month, day, hour, minute, second;
    unsigned long tick;
    ASSERT_EQ(std::sscanf(narrow.c_str(), "%d-%d-%d %d:%d:%d (%lu)", &year, &month, &day, &hour, &minute,
                          &second, &tick),
              7)
        << narrow;
    char expected[64];
    std::snprintf(expected, sizeof(expected), "%d-%02d-%02d %02d:%02d:%02d (%lu)\tnow", year, month, day, hour,
                  minute, second, tick);
    EXPECT_EQ(narrow, expected);
    auto key = [](int y, int mo, int d, int h, int mi, int s) {
        return ((((int64_t{y} * 13 + mo) * 32 + d) * 24 + h) * 60 + mi) * 60 + s;
    };
    int64_t stamp = key(year, month, day, hour, minute, second);
    EXPECT_GE(stamp, key(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute,
                         before.wSecond));
    EXPECT_LE(stamp, key(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute,
                         after.wSecond));
    EXPECT_GE(tick, tickBefore);
    EXPECT_LE(tick, tickAfter);
}

TEST_F(FormatLogLine, MessageFollowsTheDeviceRules) {
    OrviDebugSetClockForTest(&orvi::test::kFixedTime, orvi::test::kFixedTick);
    EXPECT_EQ(Line(u"%s|%S|%ld|0x%08x\n", u"wide", "narrow", LONG{-5}, DWORD{0xabcd}),
              kFixedStamp + u"wide|narrow|-5|0x0000abcd\n");
}

TEST_F(FormatLogLine, MissingArgumentKeepsTheTextBeforeIt) {
    OrviDebugSetClockForTest(&orvi::test::kFixedTime, orvi::test::kFixedTick);
    EXPECT_EQ(Line(u"open %s failed\r\n"), kFixedStamp + u"open ");
}

class Log : public orvi::test::FixedClockLogTest {
protected:
    void SetUp() override {
        FixedClockLogTest::SetUp();
        ASSERT_TRUE(::SetLogFile(u"\\test.log"));
    }
    std::string LogBytes() const { return ReadHostFile(m_root.Host("\\test.log")); }
};

TEST_F(Log, FirstLineCreatesTheFileWithTheByteOrderMark) {
    ::Log(u"hello %d\r\n", 7);
    EXPECT_EQ(LogBytes(), kByteOrderMark + Utf16Bytes(kFixedStamp + u"hello 7\r\n"));
}

TEST_F(Log, LinesAreAppendedAndNothingIsAdded) {
    ::Log(u"a");
    ::Log(u"b\n");
    EXPECT_EQ(LogBytes(), kByteOrderMark + Utf16Bytes(kFixedStamp + u"a" + kFixedStamp + u"b\n"));
}

TEST_F(Log, ExistingFileIsAppendedWithoutASecondMark) {
    WriteHostFile(m_root.Host("\\test.log"), kByteOrderMark + Utf16Bytes(u"old\r\n"));
    ::Log(u"new\r\n");
    EXPECT_EQ(LogBytes(), kByteOrderMark + Utf16Bytes(u"old\r\n" + kFixedStamp + u"new\r\n"));
}

TEST_F(Log, FullFileStartsOverBehindTheMark) {
    // 2 + 10198 bytes = 10200; the stamp (29 characters), 19 characters and
    // CR LF make a line of 100 bytes: 10300 > 10240.
    WriteHostFile(m_root.Host("\\test.log"), kByteOrderMark + Utf16Bytes(std::u16string(5099, u'y')));
    const std::u16string message = u"0123456789abcdefghi\r\n";
    ASSERT_EQ((kFixedStamp + message).size() * 2, 100u);
    ::Log(message.c_str());
    std::string bytes = LogBytes();
    EXPECT_EQ(bytes.size(), 2u + 32u + 100u);
    EXPECT_EQ(bytes, kByteOrderMark + Utf16Bytes(u"--Empty upon--\r\n" + kFixedStamp + message));
}

TEST_F(Log, LineThatReachesTheLimitExactlyIsAppended) {
    // 2 + 10138 + 100 = 10240: at the limit, not past it.
    WriteHostFile(m_root.Host("\\test.log"), kByteOrderMark + Utf16Bytes(std::u16string(5069, u'y')));
    ::Log(u"0123456789abcdefghi\r\n");
    std::string bytes = LogBytes();
    EXPECT_EQ(bytes.size(), 10240u);
    EXPECT_EQ(bytes.substr(10140), Utf16Bytes(kFixedStamp + u"0123456789abcdefghi\r\n"));
    ::Log(u"next\r\n");
    EXPECT_EQ(LogBytes(), kByteOrderMark + Utf16Bytes(u"--Empty upon--\r\n" + kFixedStamp + u"next\r\n"));
}

TEST_F(Log, DeletedLogIsRecreatedWithTheMark) {
    ::Log(u"first\r\n");
    ASSERT_TRUE(std::filesystem::remove(m_root.Host("\\test.log")));
    ::Log(u"second\r\n");
    EXPECT_EQ(LogBytes(), kByteOrderMark + Utf16Bytes(kFixedStamp + u"second\r\n"));
}

TEST_F(Log, UnopenableFileDropsTheLineAndKeepsTheLastError) {
    ASSERT_TRUE(::SetLogFile(u"\\missing\\test.log"));
    SetLastError(1234);
    ::Log(u"lost\r\n");
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_FALSE(std::filesystem::exists(m_root.Host("\\missing")));
    EXPECT_FALSE(std::filesystem::exists(m_root.Host("\\test.log")));
}

TEST_F(Log, ConcurrentWritersProduceOnlyWholeLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                ::Log(orvi::test::kWorkerFormat, t, i);
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::string bytes = LogBytes();
    ASSERT_EQ(bytes.substr(0, 2), kByteOrderMark);
    // The file starts over many times; with lines this short it never
    // passes the limit.
    EXPECT_LE(bytes.size(), 10240u);
    std::u16string text = FromUtf16Bytes(bytes.substr(2));
    std::string narrow(text.begin(), text.end());
    size_t start = 0;
    int lines = 0;
    while (start < narrow.size()) {
        size_t end = narrow.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "unterminated tail: " << narrow.substr(start);
        std::string line = narrow.substr(start, end - start);
        int thread = -1, index = -1;
        if (line != "--Empty upon--") {
            EXPECT_TRUE(orvi::test::ParseWorkerLine(line, &thread, &index)) << line;
            ++lines;
        }
        start = end + 2;
    }
    EXPECT_GT(lines, 0);
}

class SetLogFile : public orvi::test::FixedClockLogTest {
protected:
    // The test program lives outside the device root, so its device path is
    // "\Windows\<name>" and its folder "\Windows\".
    void SetUp() override {
        FixedClockLogTest::SetUp();
        std::filesystem::create_directory(m_root.Host("\\Windows"));
    }
};

TEST_F(SetLogFile, BareNameGoesBesideTheMainProgram) {
    EXPECT_TRUE(::SetLogFile(u"bare.log"));
    ::Log(u"x\r\n");
    EXPECT_EQ(ReadHostFile(m_root.Host("\\Windows\\bare.log")),
              kByteOrderMark + Utf16Bytes(kFixedStamp + u"x\r\n"));
}

TEST_F(SetLogFile, DefaultIsOrvidbgLogBesideTheMainProgram) {
    EXPECT_TRUE(::SetLogFile(nullptr));
    ::Log(u"x\r\n");
    EXPECT_EQ(ReadHostFile(m_root.Host("\\Windows\\orvidbg.log")),
              kByteOrderMark + Utf16Bytes(kFixedStamp + u"x\r\n"));
}

TEST_F(SetLogFile, NameWithALeadingBackslashIsAtTheRoot) {
    EXPECT_TRUE(::SetLogFile(u"\\rooted.log"));
    ::Log(u"x\r\n");
    EXPECT_EQ(ReadHostFile(m_root.Host("\\rooted.log")),
              kByteOrderMark + Utf16Bytes(kFixedStamp + u"x\r\n"));
    EXPECT_FALSE(std::filesystem::exists(m_root.Host("\\Windows\\rooted.log")));
}

TEST_F(SetLogFile, OverlongPathIsRefusedAndTheLogStaysWhereItWas) {
    ASSERT_TRUE(::SetLogFile(u"\\kept.log"));
    SetLastError(0);
    EXPECT_FALSE(::SetLogFile((u"\\" + std::u16string(MAX_PATH, u'n')).c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    // "\Windows\" (9 characters) + 251 leaves no room for the terminator.
    SetLastError(0);
    EXPECT_FALSE(::SetLogFile(std::u16string(251, u'n').c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    ::Log(u"x\r\n");
    EXPECT_EQ(ReadHostFile(m_root.Host("\\kept.log")),
              kByteOrderMark + Utf16Bytes(kFixedStamp + u"x\r\n"));
    EXPECT_TRUE(::SetLogFile(std::u16string(250, u'n').c_str()));
}

}  // namespace log_tests
