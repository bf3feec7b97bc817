// CallGuarded and GetCallStackSnapshot: processor exceptions caught on the
// thread that raised them, nested guards, the faulting stack seen by a
// filter, and faults that no guard keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

#include "FaultingCode.h"
#include "platform.h"

using namespace orvi::test;

namespace {

volatile int g_never = -1;

// Recurses until the stack runs out; the pad keeps each frame large and the
// addition after the call keeps the recursion from becoming a loop.
ORVI_FAULTING int Recurse(int depth) {
    volatile char pad[256];
    pad[0] = static_cast<char>(depth);
    return depth == g_never ? 0 : Recurse(depth + 1) + pad[0];
}

#if defined(__x86_64__)
volatile unsigned g_zero = 0;
// In assembly, so that the compiler cannot treat it as undefined behaviour.
ORVI_FAULTING unsigned DivideByZero() {
    unsigned divisor = g_zero, quotient = 1, remainder = 0;
    asm volatile("divl %[d]" : "+a"(quotient), "+d"(remainder) : [d] "rm"(divisor) : "cc");
    return quotient;
}
#endif

// A guarded routine: `body`, then a note that it came back. The note also
// keeps the call from being a tail call, so RunTask's frame stays.
struct Task {
    std::function<void()> body;
    bool returned = false;
};

void CALLBACK RunTask(LPVOID context) {
    auto* task = static_cast<Task*>(context);
    task->body();
    task->returned = true;
}

__attribute__((noinline)) std::vector<DWORD_PTR> Snapshot(DWORD skip) {
    CallSnapshot frames[64];
    const ULONG count = GetCallStackSnapshot(64, frames, 0, skip);
    std::vector<DWORD_PTR> stack;
    for (ULONG i = 0; i < count; ++i)
        stack.push_back(frames[i].dwReturnAddr);
    return stack;
}

__attribute__((noinline)) std::vector<DWORD_PTR> SnapshotHere(DWORD skip) {
    std::vector<DWORD_PTR> stack = Snapshot(skip);
    asm volatile("" ::: "memory");  // no tail call: this frame stays
    return stack;
}

// What a filter saw, and what it answers.
struct FilterLog {
    LONG answer = EXCEPTION_EXECUTE_HANDLER;
    std::function<void()> during;  // runs inside the filter, before it answers
    int calls = 0;
    EXCEPTION_RECORD record{};
    DWORD contextFlags = 99;
    std::vector<DWORD_PTR> stack, skippedStack;  // snapshots with dwSkip 0 and 1
    uintptr_t Address() const { return reinterpret_cast<uintptr_t>(record.ExceptionAddress); }
};

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

// Runs the bodies at once, each on a thread made with CreateThread, and
// returns their exit codes.
std::vector<DWORD> OnNewThreads(std::vector<std::function<DWORD()>> bodies, SIZE_T stackBytes = 0) {
    std::vector<HANDLE> threads;
    for (auto& body : bodies)
        threads.push_back(CreateThread(
            nullptr, stackBytes,
            [](LPVOID p) -> DWORD { return (*static_cast<std::function<DWORD()>*>(p))(); }, &body,
            0, nullptr));
    std::vector<DWORD> codes(threads.size());
    for (size_t i = 0; i < threads.size(); ++i) {
        EXPECT_EQ(WaitForSingleObject(threads[i], 60000), DWORD(WAIT_OBJECT_0));
        EXPECT_TRUE(GetExitCodeThread(threads[i], &codes[i]));
        CloseHandle(threads[i]);
    }
    return codes;
}

DWORD OnNewThread(std::function<DWORD()> body, SIZE_T stackBytes = 0) {
    return OnNewThreads({std::move(body)}, stackBytes)[0];
}

// Runs body under a guard on a new thread, which then goes on to guarded
// work of its own. Checks what every caught fault shows the filter: one
// call, the code, the faulting instruction in `faulting`, and a stack that
// starts there. Returns what the filter saw.
template <class F>
FilterLog CatchOnNewThread(std::function<void()> body, DWORD code, F* faulting,
                           SIZE_T stackBytes = 0) {
    FilterLog log;
    Task task{std::move(body)};
    const DWORD exit = OnNewThread([&]() -> DWORD {
        if (Guard(task, log))
            return 1;
        Task later{[] {}};
        FilterLog unused;
        return Guard(later, unused) && later.returned ? 7 : 2;
    }, stackBytes);
    EXPECT_EQ(exit, 7u) << "the thread's later work goes on, guarded again";
    EXPECT_FALSE(task.returned) << "the routine is abandoned at the fault";
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.record.ExceptionCode, code);
    EXPECT_TRUE(Within(log.Address(), faulting)) << std::hex << log.Address();
    EXPECT_EQ(log.record.NumberParameters, code == EXCEPTION_ACCESS_VIOLATION ? 2u : 0u);
    EXPECT_TRUE(!log.stack.empty() && log.stack[0] == log.Address());
    return log;
}

}  // namespace

// A routine that returns, one that ends its thread, and missing arguments.
TEST(CallGuarded, RunsTheRoutineAndRefusesAMissingRoutineOrFilter) {
    Task task{[] {}}, exits{[] { ExitThread(11); }};
    FilterLog log;
    SetLastError(0);
    EXPECT_FALSE(CallGuarded(nullptr, &task, LogFilter, &log));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(CallGuarded(RunTask, &task, nullptr, &log));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(task.returned);
    EXPECT_TRUE(Guard(task, log));
    EXPECT_TRUE(task.returned);
    EXPECT_EQ(OnNewThread([&]() -> DWORD { return Guard(exits, log) ? 1 : 2; }), 11u);
    EXPECT_FALSE(exits.returned);
    EXPECT_EQ(log.calls, 0);
}

TEST(CallGuarded, CatchesANullWriteWithItsRecordAndTheFaultingStack) {
    const FilterLog log =
        CatchOnNewThread(WriteThroughNull, EXCEPTION_ACCESS_VIOLATION, WriteThroughNull);
    EXPECT_EQ(log.record.ExceptionFlags, 0u);
    EXPECT_EQ(log.record.ExceptionRecord, nullptr);
#if defined(__x86_64__)
    EXPECT_EQ(log.record.ExceptionInformation[0], 1u) << "a write";
#endif
    EXPECT_EQ(log.record.ExceptionInformation[1], 0u) << "the address written";
    EXPECT_EQ(log.contextFlags, 0u);
    // After the faulting instruction, the routine that called the function.
    ASSERT_FALSE(log.stack.empty());
    const auto near = log.stack.begin() + std::min<size_t>(log.stack.size(), 6);
    EXPECT_TRUE(std::any_of(log.stack.begin() + 1, near, [](DWORD_PTR a) { return Within(a, RunTask); }))
        << "the guarded routine's frame";
    EXPECT_EQ(log.skippedStack, std::vector<DWORD_PTR>(log.stack.begin() + 1, log.stack.end()));
}

// The stack overflow can be handled only on the guard's alternate stack.
TEST(CallGuarded, CatchesIllegalInstructionsStackOverflowsAndDivisionsByZero) {
    CatchOnNewThread(ExecuteTrap, EXCEPTION_ILLEGAL_INSTRUCTION, ExecuteTrap);
    CatchOnNewThread([] { Recurse(0); }, EXCEPTION_ACCESS_VIOLATION, Recurse, 1024 * 1024);
#if defined(__x86_64__)
    CatchOnNewThread([] { DivideByZero(); }, EXCEPTION_INT_DIVIDE_BY_ZERO, DivideByZero);
#endif
}

TEST(CallGuarded, KeepsCatchingOnManyThreadsAtOnce) {
    const auto faultOften = []() -> DWORD {
        DWORD caught = 0;
        for (int i = 0; i < 25; ++i) {
            Task task{i % 2 ? WriteThroughNull : ExecuteTrap};
            FilterLog log;
            caught += !Guard(task, log) && log.calls == 1 && !task.returned;
        }
        return caught;
    };
    EXPECT_EQ(OnNewThreads({faultOften, faultOften, faultOften, faultOften}),
              std::vector<DWORD>(4, 25));
}

// A guard around a routine that guards `inner`, catches a C++ exception
// from it and then runs `after`.
struct Nest {
    explicit Nest(std::function<void()> body, std::function<void()> then = [] {})
        : inner{std::move(body)}, after(std::move(then)) {}
    Task inner;
    std::function<void()> after;
    FilterLog innerLog, outerLog;
    bool innerCameBack = false, caught = false;
    std::pair<int, int> Calls() const { return {innerLog.calls, outerLog.calls}; }  // of the filters
    BOOL Run() {
        Task outer{[this] {
            try {
                Guard(inner, innerLog);
            } catch (const std::runtime_error&) {
                caught = true;
            }
            innerCameBack = true;
            after();
        }};
        return Guard(outer, outerLog);
    }
};

// The inner guard keeps what its filter handles. What it passes on with
// EXCEPTION_CONTINUE_SEARCH, a fault inside its filter, and a fault after a
// C++ exception has left it, belong to the outer guard.
TEST(CallGuarded, NestedGuardsKeepWhatTheInnerFilterHandlesAndPassOnTheRest) {
    Nest handled(WriteThroughNull);
    EXPECT_TRUE(handled.Run());
    EXPECT_TRUE(handled.innerCameBack);
    EXPECT_EQ(handled.Calls(), std::pair(1, 0));

    Nest searched(WriteThroughNull);
    searched.innerLog.answer = EXCEPTION_CONTINUE_SEARCH;
    EXPECT_FALSE(searched.Run());
    EXPECT_FALSE(searched.innerCameBack);
    ASSERT_EQ(searched.Calls(), std::pair(1, 1));
    EXPECT_EQ(searched.outerLog.record.ExceptionCode, DWORD(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(searched.outerLog.Address(), searched.innerLog.Address());
    EXPECT_EQ(searched.outerLog.stack, searched.innerLog.stack) << "the stack of the fault";

    Nest filterFaults(WriteThroughNull);
    filterFaults.innerLog.during = ExecuteTrap;
    EXPECT_FALSE(filterFaults.Run());
    ASSERT_EQ(filterFaults.Calls(), std::pair(1, 1));
    EXPECT_EQ(filterFaults.outerLog.record.ExceptionCode, DWORD(EXCEPTION_ILLEGAL_INSTRUCTION));
    EXPECT_TRUE(Within(filterFaults.outerLog.Address(), ExecuteTrap));

    Nest threw([] { throw std::runtime_error("through"); }, WriteThroughNull);
    EXPECT_FALSE(threw.Run());
    EXPECT_TRUE(threw.caught);
    EXPECT_EQ(threw.Calls(), std::pair(0, 1));
}

TEST(GetCallStackSnapshot, AnswersTheCallersStackOutsideFiltersAndRefusesBadArguments) {
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
    const struct { ULONG max; CallSnapshot* buffer; DWORD flags; } refused[] = {
        {2, frames, 2}, {2, nullptr, 0}, {0, frames, 0}};
    for (const auto& r : refused) {
        EXPECT_EQ(GetCallStackSnapshot(r.max, r.buffer, r.flags, 0), 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << &r - refused;
        SetLastError(0);
    }
}

// Faults that no guard keeps take their ordinary course: the default action
// kills the process with the signal; under a sanitizer its own report ends
// the process, which shows that the fault reached the handler installed
// before the guard's.
#if defined(__SANITIZE_ADDRESS__)
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) \
    EXPECT_DEATH(statement, pattern ".*AddressSanitizer: SEGV")
#elif defined(__SANITIZE_THREAD__)
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) EXPECT_DEATH(statement, pattern)
#else
#define ORVI_EXPECT_FAULT_DEATH(statement, pattern) \
    EXPECT_EXIT(statement, ::testing::KilledBySignal(SIGSEGV), pattern)
#endif

TEST(CallGuardedDeathTest, AFaultNoGuardKeepsEndsTheProcessAsBefore) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto searchOnFromTheOutermost = [] {
        FilterLog log;
        log.answer = EXCEPTION_CONTINUE_SEARCH;
        log.during = [&] { std::fprintf(stderr, "filter saw %08x\n", unsigned(log.record.ExceptionCode)); };
        Task task{WriteThroughNull};
        OnNewThread([&]() -> DWORD { return Guard(task, log); });
    };
    const auto faultOutsideAnyGuard = [] {
        Task installs{[] {}};
        FilterLog log;
        Guard(installs, log);  // the guard's handlers are in place from here on
        OnNewThread([]() -> DWORD {
            std::fprintf(stderr, "unguarded fault next\n");
            WriteThroughNull();
            return 0;
        });
    };
    ORVI_EXPECT_FAULT_DEATH(searchOnFromTheOutermost(), "filter saw c0000005");
    ORVI_EXPECT_FAULT_DEATH(faultOutsideAnyGuard(), "unguarded fault next");
}
