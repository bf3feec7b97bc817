// CallGuarded and GetCallStackSnapshot: processor exceptions caught on the
// thread that raised them, nested guards, the faulting stack seen by a
// filter, and faults that no guard keeps.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

#include "FaultingCode.h"
#include "platform.h"

namespace {

using orvi::test::ExecuteTrap;
using orvi::test::Within;
using orvi::test::WriteThroughNull;

volatile int g_never = -1;

// Recurses until the stack runs out; the pad keeps each frame large and the
// addition after the call keeps the recursion from becoming a loop.
ORVI_FAULTING int Recurse(int depth) {
    volatile char pad[256];
    pad[0] = static_cast<char>(depth);
    if (depth == g_never)
        return 0;
    return Recurse(depth + 1) + pad[0];
}

#if defined(__x86_64__)
volatile unsigned g_zero = 0;
// The division is written in assembly so that the compiler cannot treat it
// as undefined behaviour: the processor traps.
ORVI_FAULTING unsigned DivideByZero() {
    unsigned divisor = g_zero, quotient = 1, remainder = 0;
    asm volatile("divl %[d]" : "+a"(quotient), "+d"(remainder) : [d] "rm"(divisor) : "cc");
    return quotient;
}
#endif

// What a guarded routine does: call `body`, then note that it came back.
// The note after the call also keeps the call from being a tail call, so
// the routine's own frame stays on the stack.
struct Task {
    std::function<void()> body;
    bool returned = false;
};

void CALLBACK RunTask(LPVOID context) {
    auto* task = static_cast<Task*>(context);
    task->body();
    task->returned = true;
}

// What a filter saw, and what it answers.
struct FilterLog {
    LONG answer = EXCEPTION_EXECUTE_HANDLER;
    std::function<void()> during;  // runs inside the filter, before it answers
    int calls = 0;
    EXCEPTION_RECORD record{};
    DWORD contextFlags = 99;
    std::vector<DWORD_PTR> stack;         // the snapshot inside the filter
    std::vector<DWORD_PTR> skippedStack;  // the same with dwSkip 1
    uintptr_t Address() const { return reinterpret_cast<uintptr_t>(record.ExceptionAddress); }
};

__attribute__((noinline)) std::vector<DWORD_PTR> Snapshot(DWORD skip) {
    CallSnapshot frames[64];
    const ULONG count = GetCallStackSnapshot(64, frames, 0, skip);
    std::vector<DWORD_PTR> stack;
    for (ULONG i = 0; i < count; ++i)
        stack.push_back(frames[i].dwReturnAddr);
    return stack;
}

LONG CALLBACK LogFilter(EXCEPTION_POINTERS* pointers, LPVOID context) {
    auto* log = static_cast<FilterLog*>(context);
    ++log->calls;
    log->record = *pointers->ExceptionRecord;
    log->contextFlags = pointers->ContextRecord ? pointers->ContextRecord->ContextFlags : 98;
    log->stack = Snapshot(0);
    log->skippedStack = Snapshot(1);
    if (log->during)
        log->during();
    return log->answer;
}

BOOL Guard(Task& task, FilterLog& log) { return CallGuarded(RunTask, &task, LogFilter, &log); }

// Runs body on a thread made with CreateThread and returns its exit code.
DWORD OnNewThread(std::function<DWORD()> body, SIZE_T stackBytes = 0) {
    HANDLE thread = CreateThread(
        nullptr, stackBytes,
        [](LPVOID p) -> DWORD { return (*static_cast<std::function<DWORD()>*>(p))(); }, &body, 0,
        nullptr);
    EXPECT_NE(thread, nullptr);
    if (!thread)
        return 0;
    EXPECT_EQ(WaitForSingleObject(thread, 30000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    CloseHandle(thread);
    return code;
}

}  // namespace

TEST(CallGuarded, ReturnsTrueWhenTheRoutineReturns) {
    int value = 0;
    Task task{[&] { value = 5; }};
    FilterLog log;
    EXPECT_TRUE(Guard(task, log));
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(task.returned);
    EXPECT_EQ(log.calls, 0);
}

TEST(CallGuarded, RefusesAMissingRoutineOrFilter) {
    Task task{[] {}};
    FilterLog log;
    SetLastError(0);
    EXPECT_FALSE(CallGuarded(nullptr, &task, LogFilter, &log));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(CallGuarded(RunTask, &task, nullptr, &log));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(task.returned);
}

TEST(CallGuarded, CatchesANullWriteOnACreateThreadThread) {
    FilterLog log;
    Task task{WriteThroughNull};
    bool laterWorkRan = false;
    const DWORD code = OnNewThread([&]() -> DWORD {
        if (Guard(task, log))
            return 1;
        Task later{[&] { laterWorkRan = true; }};
        FilterLog unused;
        return Guard(later, unused) ? 7 : 2;
    });
    EXPECT_EQ(code, 7u) << "the thread's later work goes on, guarded again";
    EXPECT_TRUE(laterWorkRan);
    EXPECT_FALSE(task.returned) << "the routine is abandoned at the fault";
    ASSERT_EQ(log.calls, 1);
    EXPECT_EQ(log.record.ExceptionCode, DWORD(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(log.record.ExceptionFlags, 0u);
    EXPECT_EQ(log.record.ExceptionRecord, nullptr);
    EXPECT_TRUE(Within(log.Address(), WriteThroughNull)) << std::hex << log.Address();
    ASSERT_EQ(log.record.NumberParameters, 2u);
#if defined(__x86_64__)
    EXPECT_EQ(log.record.ExceptionInformation[0], 1u) << "a write";
#endif
    EXPECT_EQ(log.record.ExceptionInformation[1], 0u) << "the address written";
    EXPECT_EQ(log.contextFlags, 0u);

    // The filter sees the faulting stack: the faulting instruction, then the
    // routine that called the faulting function.
    ASSERT_GE(log.stack.size(), 2u);
    EXPECT_EQ(log.stack[0], log.Address());
    bool routineSeen = false;
    for (size_t i = 1; i < log.stack.size() && i < 6; ++i)
        routineSeen = routineSeen || Within(log.stack[i], RunTask);
    EXPECT_TRUE(routineSeen) << "the guarded routine's frame";
    EXPECT_EQ(log.skippedStack, std::vector<DWORD_PTR>(log.stack.begin() + 1, log.stack.end()));
}

TEST(CallGuarded, CatchesAnIllegalInstruction) {
    FilterLog log;
    Task task{ExecuteTrap};
    EXPECT_EQ(OnNewThread([&]() -> DWORD { return Guard(task, log) ? 1 : 3; }), 3u);
    ASSERT_EQ(log.calls, 1);
    EXPECT_EQ(log.record.ExceptionCode, DWORD(EXCEPTION_ILLEGAL_INSTRUCTION));
    EXPECT_EQ(log.record.NumberParameters, 0u);
    EXPECT_TRUE(Within(log.Address(), ExecuteTrap)) << std::hex << log.Address();
    ASSERT_FALSE(log.stack.empty());
    EXPECT_EQ(log.stack[0], log.Address());
}

// The handler cannot run on a stack that has run out: this works only on
// the guard's alternate stack.
TEST(CallGuarded, CatchesAStackOverflow) {
    FilterLog log;
    Task task{[] { Recurse(0); }};
    bool laterWorkRan = false;
    const DWORD code = OnNewThread([&]() -> DWORD {
        if (Guard(task, log))
            return 1;
        Task later{[&] { laterWorkRan = true; }};
        FilterLog unused;
        return Guard(later, unused) ? 7 : 2;
    }, 1024 * 1024);
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(laterWorkRan);
    ASSERT_EQ(log.calls, 1);
    EXPECT_EQ(log.record.ExceptionCode, DWORD(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(Within(log.Address(), Recurse)) << std::hex << log.Address();
    ASSERT_FALSE(log.stack.empty());
    EXPECT_EQ(log.stack[0], log.Address());
}

#if defined(__x86_64__)
TEST(CallGuarded, CatchesAnIntegerDivisionByZero) {
    FilterLog log;
    Task task{[] { DivideByZero(); }};
    EXPECT_EQ(OnNewThread([&]() -> DWORD { return Guard(task, log) ? 1 : 3; }), 3u);
    ASSERT_EQ(log.calls, 1);
    EXPECT_EQ(log.record.ExceptionCode, DWORD(EXCEPTION_INT_DIVIDE_BY_ZERO));
    EXPECT_TRUE(Within(log.Address(), DivideByZero)) << std::hex << log.Address();
}
#endif

TEST(CallGuarded, KeepsCatchingOnManyThreadsAtOnce) {
    constexpr int kThreads = 4, kFaults = 25;
    std::vector<HANDLE> threads;
    static std::atomic<int> s_caught;
    s_caught = 0;
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
            for (int i = 0; i < kFaults; ++i) {
                Task task{i % 2 ? WriteThroughNull : ExecuteTrap};
                FilterLog log;
                if (!Guard(task, log) && log.calls == 1 && !task.returned)
                    ++s_caught;
            }
            return 0;
        }, nullptr, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, 60000), DWORD(WAIT_OBJECT_0));
        CloseHandle(thread);
    }
    EXPECT_EQ(s_caught.load(), kThreads * kFaults);
}

TEST(CallGuarded, AnInnerHandlerEndsOnlyTheInnerRoutine) {
    FilterLog innerLog, outerLog;
    Task inner{WriteThroughNull};
    BOOL innerResult = TRUE;
    Task outer{[&] { innerResult = Guard(inner, innerLog); }};
    EXPECT_TRUE(Guard(outer, outerLog));
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(outer.returned);
    EXPECT_EQ(innerLog.calls, 1);
    EXPECT_EQ(outerLog.calls, 0);
}

TEST(CallGuarded, ContinueSearchHandsTheSameExceptionToTheOuterGuard) {
    FilterLog innerLog, outerLog;
    innerLog.answer = EXCEPTION_CONTINUE_SEARCH;
    Task inner{WriteThroughNull};
    bool innerCameBack = false;
    Task outer{[&] {
        Guard(inner, innerLog);
        innerCameBack = true;
    }};
    EXPECT_FALSE(Guard(outer, outerLog));
    EXPECT_FALSE(innerCameBack);
    EXPECT_FALSE(outer.returned);
    ASSERT_EQ(innerLog.calls, 1);
    ASSERT_EQ(outerLog.calls, 1);
    EXPECT_EQ(outerLog.record.ExceptionCode, DWORD(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(outerLog.Address(), innerLog.Address());
    EXPECT_EQ(outerLog.stack, innerLog.stack) << "the stack of the fault, not of the outer guard";
}

TEST(CallGuarded, AFaultInAFilterGoesToTheOuterGuard) {
    FilterLog innerLog, outerLog;
    innerLog.during = ExecuteTrap;
    Task inner{WriteThroughNull};
    Task outer{[&] { Guard(inner, innerLog); }};
    EXPECT_FALSE(Guard(outer, outerLog));
    EXPECT_EQ(innerLog.calls, 1);
    ASSERT_EQ(outerLog.calls, 1);
    EXPECT_EQ(outerLog.record.ExceptionCode, DWORD(EXCEPTION_ILLEGAL_INSTRUCTION));
    EXPECT_TRUE(Within(outerLog.Address(), ExecuteTrap));
}

TEST(CallGuarded, LetsCppExceptionsThroughAndForgetsTheGuardTheyLeft) {
    FilterLog innerLog, outerLog;
    Task inner{[] { throw std::runtime_error("through"); }};
    bool caught = false;
    Task outer{[&] {
        try {
            Guard(inner, innerLog);
        } catch (const std::runtime_error&) {
            caught = true;
        }
        // The inner guard is gone: this fault belongs to the outer one.
        WriteThroughNull();
    }};
    EXPECT_FALSE(Guard(outer, outerLog));
    EXPECT_TRUE(caught);
    EXPECT_EQ(innerLog.calls, 0);
    EXPECT_EQ(outerLog.calls, 1);
}

TEST(CallGuarded, ExitThreadInsideTheRoutineEndsTheThread) {
    FilterLog log;
    Task task{[] { ExitThread(11); }};
    EXPECT_EQ(OnNewThread([&]() -> DWORD { return Guard(task, log) ? 1 : 2; }), 11u);
    EXPECT_EQ(log.calls, 0);
    EXPECT_FALSE(task.returned);
}

namespace {

__attribute__((noinline)) std::vector<DWORD_PTR> SnapshotHere(DWORD skip) {
    std::vector<DWORD_PTR> stack = Snapshot(skip);
    asm volatile("" ::: "memory");  // no tail call: this frame stays
    return stack;
}

}  // namespace

TEST(GetCallStackSnapshot, AnswersTheCallersStackOutsideFilters) {
    const std::vector<DWORD_PTR> full = SnapshotHere(0);
    ASSERT_GE(full.size(), 3u);
    EXPECT_TRUE(Within(full[0], Snapshot)) << "frame 0 returns into the caller";
    EXPECT_TRUE(Within(full[1], SnapshotHere));
    const std::vector<DWORD_PTR> skipped = SnapshotHere(2);
    ASSERT_EQ(skipped.size() + 2, full.size());
    // Past the skipped frames the walks agree, except for the return into
    // this test, which differs between the two calls.
    EXPECT_EQ(std::vector<DWORD_PTR>(skipped.begin() + 1, skipped.end()),
              std::vector<DWORD_PTR>(full.begin() + 3, full.end()));

    CallSnapshot frames[2];
    EXPECT_EQ(GetCallStackSnapshot(2, frames, 0, 0), 2u) << "at most dwMaxFrames";
    SetLastError(0);
    EXPECT_EQ(GetCallStackSnapshot(2, frames, 0, 100000), 0u);
    EXPECT_EQ(GetLastError(), 0u) << "skipping every frame is no error";
}

TEST(GetCallStackSnapshot, RefusesFlagsAndEmptyBuffers) {
    CallSnapshot frames[4];
    SetLastError(0);
    EXPECT_EQ(GetCallStackSnapshot(4, frames, 2, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetCallStackSnapshot(4, nullptr, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetCallStackSnapshot(0, frames, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(GetCallStackSnapshot, IsFoundByNameInCoreDll) {
    HMODULE core = LoadLibraryW(u"CoreDLL.dll");
    ASSERT_NE(core, nullptr);
    using Snapshotter = ULONG (*)(ULONG, CallSnapshot*, DWORD, DWORD);
    auto found = reinterpret_cast<Snapshotter>(GetProcAddress(core, u"GetCallStackSnapshot"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, &GetCallStackSnapshot);
    CallSnapshot frames[8];
    EXPECT_GT(found(8, frames, 0, 0), 0u);
    FreeLibrary(core);
}

// Faults that no guard keeps take their ordinary course: the default action
// kills the process with the signal; under a sanitizer its own report ends
// the process, which shows that the fault reached the handler installed
// before the guard's.
namespace {

#if defined(__SANITIZE_ADDRESS__)
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) \
    EXPECT_DEATH(statement, pattern ".*AddressSanitizer: SEGV")
#elif defined(__SANITIZE_THREAD__)
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) EXPECT_DEATH(statement, pattern)
#else
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) \
    EXPECT_EXIT(statement, ::testing::KilledBySignal(SIGSEGV), pattern)
#endif

LONG CALLBACK AnnounceAndSearchOn(EXCEPTION_POINTERS* pointers, LPVOID) {
    std::fprintf(stderr, "filter saw %08x\n", unsigned(pointers->ExceptionRecord->ExceptionCode));
    return EXCEPTION_CONTINUE_SEARCH;
}

void GuardAndWriteThroughNull() {
    Task task{WriteThroughNull};
    OnNewThread([&]() -> DWORD { return CallGuarded(RunTask, &task, AnnounceAndSearchOn, nullptr); });
}

void FaultOutsideAnyGuard() {
    Task installs{[] {}};
    FilterLog log;
    Guard(installs, log);  // the guard's handlers are in place from here on
    OnNewThread([]() -> DWORD {
        std::fprintf(stderr, "unguarded fault next\n");
        WriteThroughNull();
        return 0;
    });
}

}  // namespace

TEST(CallGuardedDeathTest, ContinueSearchFromTheOutermostGuardLetsTheFaultEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ORVI_EXPECT_FAULT_DEATH(GuardAndWriteThroughNull(), "filter saw c0000005");
}

TEST(CallGuardedDeathTest, AFaultOutsideEveryGuardIsLeftAlone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ORVI_EXPECT_FAULT_DEATH(FaultOutsideAnyGuard(), "unguarded fault next");
}
