// Timers and the order of generated messages.
#include <atomic>

#include "UserTestSupport.h"

using namespace orvi::test;

namespace {

std::atomic<int> g_procCalls{0};

void CountingTimerProc(HWND, UINT msg, UINT_PTR, DWORD) {
    if (msg == WM_TIMER)
        ++g_procCalls;
}

size_t TimerCount(UINT_PTR id) {
    size_t n = 0;
    for (auto& m : Log().Take())
        if (m.msg == WM_TIMER && m.wParam == id)
            ++n;
    return n;
}

}  // namespace

TEST(SetTimer, FiresUntilKilled) {
    auto cls = UniqueClass(RecordingProc);
    HWND hwnd = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
    Log().Clear();
    EXPECT_EQ(SetTimer(hwnd, 7, 10, nullptr), 7u);
    size_t fired = 0;
    EXPECT_TRUE(PumpUntil([&] { return (fired += TimerCount(7)) >= 3; }));
    EXPECT_TRUE(KillTimer(hwnd, 7));
    PumpPending();
    Log().Clear();
    DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start > 100; });
    EXPECT_EQ(TimerCount(7), 0u);
    SetLastError(0);
    EXPECT_FALSE(KillTimer(hwnd, 7));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DestroyWindow(hwnd);
    EXPECT_EQ(SetTimer(hwnd, 1, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(SetTimer, ThreadTimerCallsItsProcedureThroughDispatch) {
    g_procCalls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 10, CountingTimerProc);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(PumpUntil([] { return g_procCalls >= 2; }));
    EXPECT_TRUE(KillTimer(nullptr, id));
    // A forged WM_TIMER with a procedure that is no timer's is not called.
    MSG forged{nullptr, WM_TIMER, id, reinterpret_cast<LPARAM>(CountingTimerProc), 0, {0, 0}};
    int before = g_procCalls;
    DispatchMessageW(&forged);
    EXPECT_EQ(g_procCalls.load(), before);
}

TEST(GetMessageW, PostedMessagesComeBeforePaintAndPaintBeforeTimers) {
    auto cls = UniqueClass(RecordingProc);
    HWND hwnd = MakeTopLevel(cls, {0, 30, 20, 50});
    PumpPending();
    SetTimer(hwnd, 3, 10, nullptr);
    Sleep(30);  // the timer is due before anything else is queued
    InvalidateRect(hwnd, nullptr, FALSE);
    PostMessageW(hwnd, WM_USER + 9, 0, 0);
    MSG msg;
    std::vector<UINT> order;
    for (int i = 0; i < 3 && GetMessageW(&msg, nullptr, 0, 0); ++i) {
        order.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 9, WM_PAINT, WM_TIMER}));
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE)) << "DefWindowProcW's WM_PAINT validates";
    KillTimer(hwnd, 3);
    DestroyWindow(hwnd);
}
