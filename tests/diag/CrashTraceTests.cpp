// The crash trace: what a fault on a decode thread leaves in the debug log,
// and the exact form of the trace lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "CrashTrace.h"
#include "FaultingCode.h"
#include "LogTestSupport.h"

using namespace orvi::test;

namespace {

// A thread shaped like the decode thread: its loop, `work`, under the crash
// trace, and the thread's own line when an exception ended the loop.
DWORD DecodeThread(LPVOID work) {
    if (RunWithCrashTrace([](LPVOID loop) { reinterpret_cast<void (*)()>(loop)(); }, work))
        return 1;
    Log(u"The exception occurred at DecodeThread\n");
    return 2;
}

// Runs a decode thread over `work`; its exit code, 1 for a normal end and 2
// for a traced one.
DWORD RunDecodeThread(void (*work)()) {
    HANDLE thread = CreateThread(nullptr, 0, DecodeThread, reinterpret_cast<LPVOID>(work), 0, nullptr);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(thread, 30000), DWORD(WAIT_OBJECT_0));
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

// The number in a line of the form prefix, 8 to 16 hexadecimal digits of
// one case, suffix; nothing for a line of another form.
std::optional<uintptr_t> HexIn(const std::u16string& line, const std::string& prefix, bool upper,
                               const std::string& suffix) {
    const std::string text(line.begin(), line.end());
    if (text.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const size_t end = std::min(text.find_first_not_of(upper ? "0123456789ABCDEF" : "0123456789abcdef",
                                                       prefix.size()), text.size());
    const size_t digits = end - prefix.size();
    if (digits < 8 || digits > 16 || text.substr(end) != suffix)
        return std::nullopt;
    return std::stoull(text.substr(prefix.size(), digits), nullptr, 16);
}

// A log in "\test.log" with the fixed clock, and CrashTraceInit as the
// decoder engine calls it.
class CrashTraceLog : public LoggedDeviceTest {
protected:
    void SetUp() override {
        LoggedDeviceTest::SetUp();
        OrviDebugSetClockForTest(&kFixedTime, kFixedTick);
        CrashTraceInit();
    }
    void TearDown() override {
        CrashTraceInit();
        OrviDebugSetClockForTest(nullptr, 0);
        LoggedDeviceTest::TearDown();
    }
    // Each Log call's message, in order, without its time stamp.
    std::vector<std::u16string> Messages() {
        const std::u16string text = FromUtf16Bytes(ReadDevice("\\test.log"));
        std::vector<std::u16string> messages;
        const size_t stamp = kFixedStamp.size();
        for (size_t at = text.find(kFixedStamp); at != std::u16string::npos;) {
            const size_t next = text.find(kFixedStamp, at + stamp);
            messages.push_back(text.substr(at + stamp, next - at - stamp));
            at = next;
        }
        return messages;
    }
    // Checks one traced exception of a decode thread starting at
    // messages[*at]: the exception line with `code` and an address within
    // `faulting`, "--Callstack:", the frames, innermost first, and the
    // thread's line. Moves *at past it and returns the frames.
    template <class F>
    std::vector<uintptr_t> ExpectTrace(const std::vector<std::u16string>& messages, size_t* at,
                                       const std::string& code, F* faulting) {
        const auto line = [&](size_t i) { return i < messages.size() ? messages[i] : u""; };
        const std::optional<uintptr_t> address =
            HexIn(line(*at), "Exception: address=0x", false,
                  ",code=0x" + code + ",flags=0x00000000\r\n");
        EXPECT_TRUE(address && Within(*address, faulting)) << testing::PrintToString(line(*at));
        EXPECT_EQ(line(*at + 1), u"--Callstack:\n");
        std::vector<uintptr_t> frames;
        for (*at += 2; auto frame = HexIn(line(*at), "  0x", true, "\n"); ++*at)
            frames.push_back(*frame);
        EXPECT_LE(frames.size(), 64u);
        EXPECT_TRUE(frames.empty() || frames[0] == address) << "innermost first: the faulting instruction";
        EXPECT_EQ(line((*at)++), u"The exception occurred at DecodeThread\n");
        return frames;
    }
};

// Stand-ins for the platform's snapshot: frame i is kFrames[i], or a
// made-up address past them.
const uintptr_t kFrames[] = {0x00401000, static_cast<uintptr_t>(0x7FFF0000ABCD1234ull), 0};
std::vector<std::pair<ULONG, DWORD>> g_requests;  // dwMaxFrames and dwFlags | dwSkip

uintptr_t FakeFrame(ULONG i) { return i < 3 ? kFrames[i] : 0x10000 + 0x10 * i; }

// Fills what fits of `available` frames, and answers `available` even when
// it is more than the caller asked for.
template <ULONG available>
ULONG FakeSnapshot(ULONG maxFrames, CallSnapshot frames[], DWORD flags, DWORD skip) {
    g_requests.push_back({maxFrames, flags | skip});
    for (ULONG i = 0; i < available && i < maxFrames; ++i)
        frames[i].dwReturnAddr = FakeFrame(i);
    return available;
}

}  // namespace

// Faults end the decode thread's loop with a trace, innermost frame first,
// or without frames when the platform has no snapshot function. The
// process, the log and the guard go on working.
TEST_F(CrashTraceLog, AFaultOnTheDecodeThreadIsTracedAndTheProcessGoesOn) {
    EXPECT_EQ(RunDecodeThread(WriteThroughNull), 2u);
    EXPECT_EQ(RunDecodeThread(ExecuteTrap), 2u);
    CrashTraceSetSnapshotForTest(nullptr);
    EXPECT_EQ(RunDecodeThread(WriteThroughNull), 2u);
    const std::vector<std::u16string> messages = Messages();
    size_t at = 0;
    const auto nullWrite = ExpectTrace(messages, &at, "c0000005", WriteThroughNull);
    const auto trap = ExpectTrace(messages, &at, "c000001d", ExecuteTrap);
    EXPECT_TRUE(ExpectTrace(messages, &at, "c0000005", WriteThroughNull).empty());
    EXPECT_EQ(at, messages.size());
    EXPECT_FALSE(nullWrite.empty());
    EXPECT_FALSE(trap.empty());
    EXPECT_EQ(RunDecodeThread([] {}), 1u);
    EXPECT_EQ(Messages().size(), messages.size()) << "a normal end writes nothing";
}

// Whole addresses above 4 GiB, flags, and the exception line without a
// record; the snapshot is asked for 64 frames.
TEST_F(CrashTraceLog, LinesHaveTheTraceFormat) {
    g_requests.clear();
    CrashTraceSetSnapshotForTest(FakeSnapshot<3>);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<LPVOID>(uintptr_t(0x00012345));
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context}, noRecord{nullptr, nullptr};
    CrashTrace(EXCEPTION_ACCESS_VIOLATION, &pointers);
    CrashTraceSetSnapshotForTest(nullptr);
    record.ExceptionCode = EXCEPTION_INT_DIVIDE_BY_ZERO;
    record.ExceptionFlags = 1;
    record.ExceptionAddress = reinterpret_cast<LPVOID>(uintptr_t(0xFFFFFFFF80001000ull));
    CrashTrace(EXCEPTION_INT_DIVIDE_BY_ZERO, &pointers);
    CrashTrace(EXCEPTION_ILLEGAL_INSTRUCTION, nullptr);
    CrashTrace(EXCEPTION_DATATYPE_MISALIGNMENT, &noRecord);
    const std::vector<std::u16string> expected = {
        u"Exception: address=0x00012345,code=0xc0000005,flags=0x00000000\r\n",
        u"--Callstack:\n",
        u"  0x00401000\n",
        u"  0x7FFF0000ABCD1234\n",
        u"  0x00000000\n",
        u"Exception: address=0xffffffff80001000,code=0xc0000094,flags=0x00000001\r\n",
        u"--Callstack:\n",
        u"Exception: code=0xc000001d\r\n",
        u"--Callstack:\n",
        u"Exception: code=0x80000002\r\n",
        u"--Callstack:\n",
    };
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(g_requests, (std::vector<std::pair<ULONG, DWORD>>{{64, 0}}));
}

TEST_F(CrashTraceLog, AtMostSixtyFourFramesAreWritten) {
    CrashTraceSetSnapshotForTest(FakeSnapshot<100>);
    CrashTrace(EXCEPTION_ACCESS_VIOLATION, nullptr);
    const std::vector<std::u16string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u + 64u);
    for (ULONG i = 0; i < 64; ++i)
        EXPECT_EQ(HexIn(messages[2 + i], "  0x", true, "\n"), FakeFrame(i)) << i;
}
