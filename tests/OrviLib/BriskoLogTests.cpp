#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>
#include <vector>

#include "BriskoLog.h"
#include "LogTestSupport.h"

using orvi::test::Ascii;
using orvi::test::FromUtf16Bytes;
using orvi::test::kByteOrderMark;
using orvi::test::kFixedStamp;
using orvi::test::ReadHostFile;
using orvi::test::Utf16Bytes;

// The fixture carries the class's name, so inside this namespace the class
// itself is ::CBriskoLog.
namespace brisko_log_tests {

class CBriskoLog : public orvi::test::FixedClockLogTest {
protected:
    void TearDown() override {
        OrviSetCallerProcess(GetCurrentProcessId());
        FixedClockLogTest::TearDown();
    }
    std::string Bytes(const std::string& devicePath = "\\b.log") const {
        return ReadHostFile(m_root.Host(devicePath));
    }
    static std::string Line(const std::u16string& message) { return Utf16Bytes(kFixedStamp + message); }
    static std::u16string EndLine(DWORD self, DWORD call) {
        char line[80];
        std::snprintf(line, sizeof(line), "---End log, process: self=0x%08x, call=0x%08x---\r\n",
                      static_cast<unsigned>(self), static_cast<unsigned>(call));
        return Ascii(line);
    }
};

// Reads the whole file through a second handle of the platform, as another
// program would while the log is still open.
std::string ReadThroughSecondHandle(LPCWSTR path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    std::string bytes(65536, '\0');
    DWORD read = 0;
    BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return ok ? bytes.substr(0, read) : "<cannot read>";
}

TEST_F(CBriskoLog, LinesAreFlushedAndReadableBeforeClose) {
    ::CBriskoLog log(u"\\b.log");
    log.Log(u"one %d\r\n", 1);
    EXPECT_EQ(ReadThroughSecondHandle(u"\\b.log"), kByteOrderMark + Line(u"one 1\r\n"));
    log.Log(u"two\r\n");
    EXPECT_EQ(ReadThroughSecondHandle(u"\\b.log"), kByteOrderMark + Line(u"one 1\r\n") + Line(u"two\r\n"));
}

TEST_F(CBriskoLog, ByteOrderMarkIsWrittenOnlyIntoAnEmptyFile) {
    {
        ::CBriskoLog first(u"\\b.log");
        first.Log(u"a\r\n");
    }
    ::CBriskoLog second(u"\\b.log");
    second.Log(u"b\r\n");
    std::string bytes = Bytes();
    EXPECT_EQ(bytes.substr(0, 2), kByteOrderMark);
    EXPECT_EQ(bytes.find(kByteOrderMark, 2), std::string::npos);
    EXPECT_NE(bytes.find(Line(u"b\r\n")), std::string::npos);
}

TEST_F(CBriskoLog, DefaultFileIsBriskoLogAtTheRoot) {
    ::CBriskoLog log;
    log.Log(u"x\r\n");
    EXPECT_EQ(ReadThroughSecondHandle(u"\\Brisko.log"), kByteOrderMark + Line(u"x\r\n"));
}

TEST_F(CBriskoLog, LongLineIsCutToTheBuffer) {
    ::CBriskoLog log(u"\\b.log");
    std::u16string message;
    for (int i = 0; i < 3000; ++i)
        message += static_cast<char16_t>(u'a' + i % 26);
    log.Log(u"%s", message.c_str());
    log.Log(u"next\r\n");
    const size_t kept = ::CBriskoLog::kLineChars - 1 - kFixedStamp.size();
    EXPECT_EQ(Bytes(), kByteOrderMark + Line(message.substr(0, kept)) + Line(u"next\r\n"));
}

TEST_F(CBriskoLog, CutDoesNotSplitASurrogatePair) {
    ::CBriskoLog log(u"\\b.log");
    // The pair's first half would be the 2047th character of the line.
    const size_t before = ::CBriskoLog::kLineChars - 2 - kFixedStamp.size();
    std::u16string message = std::u16string(before, u'p') + u"\U0001F3B5" + std::u16string(50, u'q');
    log.Log(u"%s", message.c_str());
    EXPECT_EQ(Bytes(), kByteOrderMark + Line(std::u16string(before, u'p')));
}

TEST_F(CBriskoLog, CloseWritesTheEndLineWithBothProcessIds) {
    OrviSetCallerProcess(0x4321);
    ::CBriskoLog log(u"\\b.log");
    log.Log(u"work\r\n");
    log.Close();
    const std::u16string end = EndLine(GetCurrentProcessId(), 0x4321);
    EXPECT_EQ(Bytes(), kByteOrderMark + Line(u"work\r\n") + Line(end));
    // A line after Close opens the file again and appends.
    log.Log(u"again\r\n");
    EXPECT_EQ(Bytes(), kByteOrderMark + Line(u"work\r\n") + Line(end) + Line(u"again\r\n"));
}

TEST_F(CBriskoLog, DestroyingAnOpenLogWritesTheEndLine) {
    {
        ::CBriskoLog log(u"\\b.log");
        log.Log(u"work\r\n");
    }
    const DWORD self = GetCurrentProcessId();
    EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<uintptr_t>(GetCallerProcess())), self);
    EXPECT_EQ(Bytes(), kByteOrderMark + Line(u"work\r\n") + Line(EndLine(self, self)));
}

TEST_F(CBriskoLog, UnusedLogCreatesNoFile) {
    { ::CBriskoLog log(u"\\b.log"); }
    EXPECT_FALSE(std::filesystem::exists(m_root.Host("\\b.log")));
}

TEST_F(CBriskoLog, TraceAlsoWritesTheLine) {
    ::CBriskoLog log(u"\\b.log");
    log.Trace(u"traced %s\r\n", u"line");
    log.Trace(u"%s", std::u16string(3000, u'z').c_str());
    std::string bytes = Bytes();
    EXPECT_EQ(bytes.substr(0, 2 + Line(u"traced line\r\n").size()), kByteOrderMark + Line(u"traced line\r\n"));
    EXPECT_EQ(bytes.size(), 2 + Line(u"traced line\r\n").size() + 2 * (::CBriskoLog::kLineChars - 1));
}

TEST_F(CBriskoLog, UnopenableFileDropsLinesUntilItCanBeOpened) {
    ::CBriskoLog log(u"\\later\\b.log");
    SetLastError(4321);
    log.Log(u"lost\r\n");
    EXPECT_EQ(GetLastError(), 4321u);
    ASSERT_TRUE(std::filesystem::create_directory(m_root.Host("\\later")));
    log.Log(u"kept\r\n");
    EXPECT_EQ(Bytes("\\later\\b.log"), kByteOrderMark + Line(u"kept\r\n"));
}

TEST_F(CBriskoLog, ConcurrentWritersDoNotMixLines) {
    constexpr int kThreads = 4;
    constexpr int kLines = 60;
    ::CBriskoLog log(u"\\b.log");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i)
                log.Log(orvi::test::kWorkerFormat, t, i);
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::u16string text = FromUtf16Bytes(Bytes().substr(2));
    std::string narrow(text.begin(), text.end());
    std::map<int, int> nextLine;
    size_t start = 0;
    while (start < narrow.size()) {
        size_t end = narrow.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        std::string line = narrow.substr(start, end - start);
        int thread = -1, index = -1;
        ASSERT_TRUE(orvi::test::ParseWorkerLine(line, &thread, &index)) << line;
        EXPECT_EQ(index, nextLine[thread]++) << "thread " << thread;
        start = end + 2;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(nextLine[t], kLines);
}

}  // namespace brisko_log_tests
