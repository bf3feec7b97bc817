// The crash trace: what a fault on a decode thread leaves in the debug log,
// and the exact form of the trace lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CrashTrace.h"
#include "FaultingCode.h"
#include "LogTestSupport.h"

using orvi::test::Ascii;
using orvi::test::ExecuteTrap;
using orvi::test::FromUtf16Bytes;
using orvi::test::Within;
using orvi::test::WriteThroughNull;

namespace {

void Nothing() {}

const std::u16string kDecodeThreadLine = u"The exception occurred at DecodeThread\n";

// A thread shaped like the decode thread: its loop under the crash trace,
// and the thread's own line when an exception ended the loop.
struct DecodeRun {
    void (*work)();
    bool loopEnded = false;
};

void CALLBACK DecodeLoop(LPVOID context) {
    auto* run = static_cast<DecodeRun*>(context);
    run->work();
    run->loopEnded = true;
}

DWORD DecodeThread(LPVOID context) {
    if (RunWithCrashTrace(DecodeLoop, context))
        return 1;
    Log(u"The exception occurred at DecodeThread\n");
    return 2;
}

// Runs a decode thread over `work`; its exit code: 1 normal end, 2 traced.
DWORD RunDecodeThread(void (*work)(), DecodeRun* run) {
    *run = DecodeRun{work};
    HANDLE thread = CreateThread(nullptr, 0, DecodeThread, run, 0, nullptr);
    EXPECT_NE(thread, nullptr);
    if (!thread)
        return 0;
    EXPECT_EQ(WaitForSingleObject(thread, 30000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// True when line is prefix, 8 to 16 hexadecimal digits of the one case, and
// suffix; *value receives the number.
bool MatchHexLine(const std::string& line, const std::string& prefix, bool upper,
                  const std::string& suffix, uintptr_t* value) {
    if (line.compare(0, prefix.size(), prefix) != 0)
        return false;
    const char letter = upper ? 'A' : 'a';
    size_t at = prefix.size();
    *value = 0;
    for (; at < line.size(); ++at) {
        const char c = line[at];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= letter && c < letter + 6)
            digit = c - letter + 10;
        else
            break;
        *value = *value * 16 + static_cast<uintptr_t>(digit);
    }
    const size_t digits = at - prefix.size();
    return digits >= 8 && digits <= 16 && line.substr(at) == suffix;
}

std::string HexUpper(uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%08llX", static_cast<unsigned long long>(value));
    return text;
}

// A log in "\test.log" with the fixed clock, and CrashTraceInit as the
// decoder engine calls it.
class CrashTraceLog : public orvi::test::LoggedDeviceTest {
protected:
    void SetUp() override {
        LoggedDeviceTest::SetUp();
        OrviDebugSetClockForTest(&orvi::test::kFixedTime, orvi::test::kFixedTick);
        CrashTraceInit();
    }
    void TearDown() override {
        CrashTraceInit();
        OrviDebugSetClockForTest(nullptr, 0);
        LoggedDeviceTest::TearDown();
    }
    // Each Log call's message, in order, without its time stamp.
    std::vector<std::u16string> Messages() {
        std::u16string text = FromUtf16Bytes(ReadDevice("\\test.log"));
        if (!text.empty() && text[0] == 0xFEFF)
            text.erase(0, 1);
        const std::u16string& stamp = orvi::test::kFixedStamp;
        std::vector<std::u16string> messages;
        for (size_t at = text.find(stamp); at != std::u16string::npos;) {
            const size_t next = text.find(stamp, at + stamp.size());
            messages.push_back(text.substr(at + stamp.size(), next - at - stamp.size()));
            at = next;
        }
        return messages;
    }
};

// One traced exception in the log, starting at messages[at]: the exception
// line with `code`, "--Callstack:", at least one frame, the thread's line.
// Returns the index after it; *address and *frames receive what it named.
size_t ExpectTrace(const std::vector<std::u16string>& messages, size_t at, const char* code,
                   uintptr_t* address, std::vector<uintptr_t>* frames) {
    const std::string exceptionEnd = std::string(",code=0x") + code + ",flags=0x00000000\r\n";
    std::string line = at < messages.size() ? Narrow(messages[at]) : "";
    EXPECT_TRUE(MatchHexLine(line, "Exception: address=0x", false, exceptionEnd, address)) << line;
    EXPECT_EQ(at + 1 < messages.size() ? messages[at + 1] : u"", u"--Callstack:\n");
    frames->clear();
    uintptr_t frame = 0;
    for (at += 2; at < messages.size(); ++at) {
        if (!MatchHexLine(Narrow(messages[at]), "  0x", true, "\n", &frame))
            break;
        frames->push_back(frame);
    }
    EXPECT_GE(frames->size(), 1u);
    EXPECT_LE(frames->size(), 64u);
    EXPECT_EQ(at < messages.size() ? messages[at] : u"", kDecodeThreadLine);
    return at + 1;
}

}  // namespace

TEST_F(CrashTraceLog, AFaultOnTheDecodeThreadIsTracedAndTheProcessGoesOn) {
    DecodeRun run{};
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(RunDecodeThread(WriteThroughNull, &run), 2u) << "round " << round;
        EXPECT_FALSE(run.loopEnded);
    }
    const std::vector<std::u16string> messages = Messages();
    uintptr_t address[2] = {};
    std::vector<uintptr_t> frames[2];
    size_t at = 0;
    for (int round = 0; round < 2; ++round)
        at = ExpectTrace(messages, at, "c0000005", &address[round], &frames[round]);
    EXPECT_EQ(at, messages.size());
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(Within(address[round], WriteThroughNull)) << std::hex << address[round];
        ASSERT_FALSE(frames[round].empty());
        EXPECT_EQ(frames[round][0], address[round]) << "innermost first: the faulting instruction";
    }
    EXPECT_EQ(address[0], address[1]);

    // The process, the log and the guard go on working.
    EXPECT_EQ(RunDecodeThread(Nothing, &run), 1u);
    EXPECT_TRUE(run.loopEnded);
    EXPECT_EQ(Messages().size(), messages.size()) << "a normal end writes nothing";
}

TEST_F(CrashTraceLog, AnIllegalInstructionIsTracedWithItsCode) {
    DecodeRun run{};
    EXPECT_EQ(RunDecodeThread(ExecuteTrap, &run), 2u);
    const std::vector<std::u16string> messages = Messages();
    uintptr_t address = 0;
    std::vector<uintptr_t> frames;
    EXPECT_EQ(ExpectTrace(messages, 0, "c000001d", &address, &frames), messages.size());
    EXPECT_TRUE(Within(address, ExecuteTrap)) << std::hex << address;
}

TEST_F(CrashTraceLog, WithoutTheSnapshotFunctionOnlyTheExceptionIsTraced) {
    CrashTraceSetSnapshotForTest(nullptr);
    DecodeRun run{};
    EXPECT_EQ(RunDecodeThread(WriteThroughNull, &run), 2u);
    const std::vector<std::u16string> messages = Messages();
    ASSERT_EQ(messages.size(), 3u);
    uintptr_t address = 0;
    EXPECT_TRUE(MatchHexLine(Narrow(messages[0]), "Exception: address=0x", false,
                             ",code=0xc0000005,flags=0x00000000\r\n", &address))
        << Narrow(messages[0]);
    EXPECT_TRUE(Within(address, WriteThroughNull));
    EXPECT_EQ(messages[1], u"--Callstack:\n");
    EXPECT_EQ(messages[2], kDecodeThreadLine);
}

namespace {

// Stand-ins for the platform's snapshot: frame i is kFrames[i], or a
// made-up address past them.
const uintptr_t kFrames[] = {0x00401000, static_cast<uintptr_t>(0x7FFF0000ABCD1234ull), 0};
struct SnapshotCall {
    ULONG maxFrames;
    DWORD flags;
    DWORD skip;
};
std::vector<SnapshotCall> g_calls;

uintptr_t FakeFrame(ULONG i) { return i < 3 ? kFrames[i] : 0x10000 + 0x10 * i; }

// Writes min(maxFrames, available) made-up frames and notes the request.
ULONG Fill(ULONG available, ULONG maxFrames, CallSnapshot frames[], DWORD flags, DWORD skip) {
    g_calls.push_back({maxFrames, flags, skip});
    const ULONG count = maxFrames < available ? maxFrames : available;
    for (ULONG i = 0; i < count; ++i)
        frames[i].dwReturnAddr = FakeFrame(i);
    return count;
}

ULONG HundredFrames(ULONG maxFrames, CallSnapshot frames[], DWORD flags, DWORD skip) {
    return Fill(100, maxFrames, frames, flags, skip);
}

ULONG ThreeFrames(ULONG maxFrames, CallSnapshot frames[], DWORD flags, DWORD skip) {
    return Fill(3, maxFrames, frames, flags, skip);
}

}  // namespace

TEST_F(CrashTraceLog, LinesHaveTheTraceFormatWithWholeAddresses) {
    g_calls.clear();
    CrashTraceSetSnapshotForTest(ThreeFrames);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<LPVOID>(uintptr_t(0x00012345));
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    CrashTrace(EXCEPTION_ACCESS_VIOLATION, &pointers);
    record.ExceptionCode = EXCEPTION_INT_DIVIDE_BY_ZERO;
    record.ExceptionFlags = 1;
    record.ExceptionAddress = reinterpret_cast<LPVOID>(uintptr_t(0xFFFFFFFF80001000ull));
    CrashTrace(EXCEPTION_INT_DIVIDE_BY_ZERO, &pointers);

    const std::vector<std::u16string> expected = {
        u"Exception: address=0x00012345,code=0xc0000005,flags=0x00000000\r\n",
        u"--Callstack:\n",
        u"  0x00401000\n",
        u"  0x7FFF0000ABCD1234\n",
        u"  0x00000000\n",
        u"Exception: address=0xffffffff80001000,code=0xc0000094,flags=0x00000001\r\n",
        u"--Callstack:\n",
        u"  0x00401000\n",
        u"  0x7FFF0000ABCD1234\n",
        u"  0x00000000\n",
    };
    EXPECT_EQ(Messages(), expected);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].maxFrames, 64u);
    EXPECT_EQ(g_calls[0].flags, 0u);
    EXPECT_EQ(g_calls[0].skip, 0u);
}

TEST_F(CrashTraceLog, WithoutARecordOnlyTheCodeIsWritten) {
    CrashTraceSetSnapshotForTest(nullptr);
    CrashTrace(EXCEPTION_ILLEGAL_INSTRUCTION, nullptr);
    EXCEPTION_POINTERS noRecord{nullptr, nullptr};
    CrashTrace(EXCEPTION_DATATYPE_MISALIGNMENT, &noRecord);
    const std::vector<std::u16string> expected = {
        u"Exception: code=0xc000001d\r\n", u"--Callstack:\n",
        u"Exception: code=0x80000002\r\n", u"--Callstack:\n"};
    EXPECT_EQ(Messages(), expected);
}

TEST_F(CrashTraceLog, AtMostSixtyFourFramesAreWritten) {
    g_calls.clear();
    CrashTraceSetSnapshotForTest(HundredFrames);
    CrashTrace(EXCEPTION_ACCESS_VIOLATION, nullptr);
    const std::vector<std::u16string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u + 64u);
    for (ULONG i = 0; i < 64; ++i)
        EXPECT_EQ(Narrow(messages[2 + i]), "  0x" + HexUpper(FakeFrame(i)) + "\n") << i;
}
