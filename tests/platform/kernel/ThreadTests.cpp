#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform.h"

namespace {

constexpr UINT UM_PING = WM_USER + 1;
constexpr UINT UM_STOP = WM_USER + 2;

// Returns the sum of the wParams of UM_PING messages, ending at UM_STOP.
DWORD SumPings(LPVOID) {
    MSG msg;
    DWORD sum = 0;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == UM_PING)
            sum += static_cast<DWORD>(msg.wParam);
        if (msg.message == UM_STOP)
            break;
    }
    return sum;
}

DWORD ExitEarly(LPVOID parameter) {
    ExitThread(static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter)));
}

DWORD WaitForEvent(LPVOID parameter) {
    return WaitForSingleObject(static_cast<HANDLE>(parameter), 10000) == WAIT_OBJECT_0 ? 7 : 8;
}

}  // namespace

TEST(CreateThread, QueueAcceptsPostsBeforeTheThreadRuns) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, SumPings, nullptr, CREATE_SUSPENDED, &id);
    ASSERT_NE(nullptr, thread);
    ASSERT_NE(0u, id);
    // The thread has not run a single instruction yet.
    EXPECT_TRUE(PostThreadMessageW(id, UM_PING, 40, 0));
    EXPECT_TRUE(PostThreadMessageW(id, UM_PING, 2, 0));
    EXPECT_TRUE(PostThreadMessageW(id, UM_STOP, 0, 0));
    EXPECT_EQ(1u, ResumeThread(thread));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_TRUE(CloseHandle(thread));
}

TEST(CreateThread, PostingTheMomentItIsCreatedNeverFails) {
    std::vector<HANDLE> threads;
    for (int i = 0; i < 32; ++i) {
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, SumPings, nullptr, 0, &id);
        ASSERT_NE(nullptr, thread);
        EXPECT_TRUE(PostThreadMessageW(id, UM_PING, static_cast<WPARAM>(i), 0)) << GetLastError();
        EXPECT_TRUE(PostThreadMessageW(id, UM_STOP, 0, 0));
        threads.push_back(thread);
    }
    for (size_t i = 0; i < threads.size(); ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(threads[i], 10000));
        DWORD code = 0;
        GetExitCodeThread(threads[i], &code);
        EXPECT_EQ(i, code);
        CloseHandle(threads[i]);
    }
}

TEST(CreateThread, RejectsAMissingStartRoutine) {
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(GetExitCodeThread, IsStillActiveUntilTheThreadEnds) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitForEvent, go, 0, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 20));
    SetEvent(go);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(7u, code);
    CloseHandle(thread);
    CloseHandle(go);
}

TEST(ExitThread, EndsTheThreadWithItsCode) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ExitEarly, reinterpret_cast<LPVOID>(uintptr_t{1234}), 0, &id);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(1234u, code);
    // The queue went with the thread.
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageW(id, UM_PING, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
    CloseHandle(thread);
}

TEST(GetCurrentThreadId, IsStableAndDistinctPerThread) {
    DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(mine, GetCurrentThreadId());
    std::atomic<DWORD> other{0};
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
        static_cast<std::atomic<DWORD>*>(p)->store(GetCurrentThreadId());
        return 0;
    }, &other, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    EXPECT_NE(0u, other.load());
    EXPECT_NE(mine, other.load());
}

TEST(CloseHandle, RejectsUnknownAndClosedHandles) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(uintptr_t{0x12345678})));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(SetLastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
        DWORD inherited = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
        return inherited;
    }, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}
