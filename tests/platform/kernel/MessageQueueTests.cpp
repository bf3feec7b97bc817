#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform.h"

namespace {

constexpr UINT UM_A = WM_USER + 10;
constexpr UINT UM_B = WM_USER + 20;
constexpr UINT UM_C = WM_USER + 30;

// Empties the calling thread's queue so that tests do not see each other.
void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

class ThreadQueue : public ::testing::Test {
protected:
    void SetUp() override { Drain(); }
    void TearDown() override { Drain(); }
    DWORD m_self = GetCurrentThreadId();
};

struct Poster {
    DWORD target;
    UINT message;
    DWORD delayMs;
};

DWORD PostLater(LPVOID p) {
    auto* poster = static_cast<Poster*>(p);
    Sleep(poster->delayMs);
    PostThreadMessageW(poster->target, poster->message, 1, 2);
    return 0;
}

}  // namespace

TEST_F(ThreadQueue, PeekMessageReturnsMessagesInOrder) {
    PostThreadMessageW(m_self, UM_A, 1, 10);
    PostThreadMessageW(m_self, UM_B, 2, 20);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_A, msg.message);
    EXPECT_EQ(1u, msg.wParam);
    EXPECT_EQ(10, msg.lParam);
    EXPECT_EQ(nullptr, msg.hwnd);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_B, msg.message);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(ThreadQueue, PeekMessageNoRemoveLeavesTheMessage) {
    PostThreadMessageW(m_self, UM_A, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_A, msg.message);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(ThreadQueue, FilterRangeSkipsButKeepsOtherMessages) {
    PostThreadMessageW(m_self, UM_A, 0, 0);
    PostThreadMessageW(m_self, UM_C, 0, 0);
    PostThreadMessageW(m_self, UM_B, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, UM_B, UM_C, PM_REMOVE));
    EXPECT_EQ(UM_C, msg.message);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, UM_B, UM_B, PM_REMOVE));
    EXPECT_EQ(UM_B, msg.message);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, UM_B, UM_C, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_A, msg.message);
}

TEST_F(ThreadQueue, WindowFilterMinusOneTakesOnlyThreadMessages) {
    PostThreadMessageW(m_self, UM_A, 0, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(static_cast<intptr_t>(-1)), 0, 0, PM_REMOVE));
    PostThreadMessageW(m_self, UM_A, 0, 0);
    // A window filter does not match thread messages.
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(uintptr_t{0x1000}), 0, 0, PM_REMOVE));
}

TEST_F(ThreadQueue, QuitComesAfterThePostedMessages) {
    PostQuitMessage(3);
    PostThreadMessageW(m_self, UM_A, 0, 0);
    MSG msg;
    EXPECT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(UM_A, msg.message);
    EXPECT_EQ(FALSE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    // Taken once.
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(ThreadQueue, QuitIsFilteredLikeAnyMessage) {
    PostQuitMessage(0);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, UM_A, UM_B, PM_REMOVE));
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ThreadQueue, GetMessageBlocksUntilAPostArrives) {
    Poster poster{m_self, UM_B, 30};
    HANDLE thread = CreateThread(nullptr, 0, PostLater, &poster, 0, nullptr);
    MSG msg;
    EXPECT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(UM_B, msg.message);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST_F(ThreadQueue, GetMessageRejectsANullRecord) {
    SetLastError(0);
    EXPECT_EQ(-1, GetMessageW(nullptr, nullptr, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ThreadQueue, PostThreadMessageToAnUnknownThreadFails) {
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageW(0xFFFFFFF0u, UM_A, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
}

TEST_F(ThreadQueue, MsgWaitWakesForAPostedMessage) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Poster poster{m_self, UM_A, 30};
    HANDLE thread = CreateThread(nullptr, 0, PostLater, &poster, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0 + 1, MsgWaitForMultipleObjects(1, &event, FALSE, 10000, QS_ALLINPUT));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_A, msg.message);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST_F(ThreadQueue, MsgWaitWakesForAnEvent) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, [](LPVOID e) -> DWORD {
        Sleep(30);
        SetEvent(static_cast<HANDLE>(e));
        return 0;
    }, event, 0, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(1, &event, FALSE, 10000, QS_ALLINPUT));
    // The auto-reset event was consumed by the wait.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(event);
}

TEST_F(ThreadQueue, MsgWaitCountsInputAlreadyQueued) {
    PostThreadMessageW(m_self, UM_A, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_POSTMESSAGE));
    // A message outside the wake mask does not end the wait.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_KEY));
}

TEST_F(ThreadQueue, MsgWaitTimesOutWithAnEmptyQueue) {
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT));
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, 0x10000));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ThreadQueue, GetQueueStatusReportsKeysApartFromPosts) {
    EXPECT_EQ(0u, GetQueueStatus(QS_ALLINPUT));
    PostThreadMessageW(m_self, 0x0100 /* WM_KEYDOWN */, 0, 0);
    EXPECT_EQ(static_cast<DWORD>((QS_KEY << 16) | QS_KEY), GetQueueStatus(QS_ALLINPUT));
    PostThreadMessageW(m_self, UM_A, 0, 0);
    EXPECT_EQ(static_cast<DWORD>(QS_POSTMESSAGE), GetQueueStatus(QS_POSTMESSAGE) & 0xFFFF);
}

TEST_F(ThreadQueue, WaitMessageReturnsWhenSomethingIsQueued) {
    Poster poster{m_self, UM_C, 20};
    HANDLE thread = CreateThread(nullptr, 0, PostLater, &poster, 0, nullptr);
    EXPECT_TRUE(WaitMessage());
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(UM_C, msg.message);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

TEST_F(ThreadQueue, ManyPostersLoseNothing) {
    constexpr int kPerThread = 5000;
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                PostThreadMessageW(m_self, UM_A, static_cast<WPARAM>(t), i);
        });
    int received[3] = {0, 0, 0};
    LPARAM last[3] = {-1, -1, -1};
    bool inOrder = true;
    MSG msg;
    for (int n = 0; n < 3 * kPerThread; ++n) {
        ASSERT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
        ++received[msg.wParam];
        inOrder &= msg.lParam == last[msg.wParam] + 1;
        last[msg.wParam] = msg.lParam;
    }
    for (auto& p : posters)
        p.join();
    EXPECT_TRUE(inOrder);
    for (int count : received)
        EXPECT_EQ(kPerThread, count);
}
