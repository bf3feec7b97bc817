// Sending between threads: the target handles sent messages while it waits
// in its queue calls or its own sends; timeouts; senders are never stranded.
#include <atomic>

#include "UserTestSupport.h"

using namespace orvi::test;

namespace {

constexpr UINT kAsk = WM_USER + 1;
constexpr UINT kAskBack = WM_USER + 2;

std::atomic<DWORD> g_handledOn{0};
std::atomic<DWORD> g_sendFlags{0};
HWND g_mainWindow = nullptr;

// Answers kAsk with wParam + 1 and notes the handling thread; kAskBack
// sends kAsk to the main thread's window first (a send inside a send).
LRESULT AnswerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kAsk) {
        g_handledOn = GetCurrentThreadId();
        g_sendFlags = InSendMessageEx(nullptr);
        return static_cast<LRESULT>(wParam) + 1;
    }
    if (msg == kAskBack)
        return SendMessageW(g_mainWindow, kAsk, wParam, 0) * 10;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A thread that owns a window and waits in the given way until told to stop.
enum class WaitStyle { Peek, MsgWait, SendBack, Blocked };

struct Target {
    std::atomic<HWND> hwnd{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<DWORD> threadId{0};
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;

    Target(const std::u16string& cls, WaitStyle style) {
        thread = StartThread([this, cls, style] {
            threadId = GetCurrentThreadId();
            hwnd = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
            if (style == WaitStyle::Blocked) {
                WaitForSingleObject(release, INFINITE);
                return;
            }
            MSG msg;
            while (!stop) {
                if (style == WaitStyle::MsgWait)
                    MsgWaitForMultipleObjects(1, &release, FALSE, INFINITE, QS_ALLINPUT);
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageW(&msg);
            }
            DestroyWindow(hwnd);
        });
        while (!hwnd)
            Sleep(1);
    }
    ~Target() {
        stop = true;
        SetEvent(release);
        EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        CloseHandle(thread);
        CloseHandle(release);
    }
};

}  // namespace

TEST(SendMessageW, ReachesAThreadWaitingInPeekMessage) {
    auto cls = UniqueClass(AnswerProc);
    Target target(cls, WaitStyle::Peek);
    g_handledOn = 0;
    EXPECT_EQ(SendMessageW(target.hwnd, kAsk, 41, 0), 42);
    EXPECT_EQ(g_handledOn.load(), target.threadId.load());
    EXPECT_EQ(g_sendFlags.load(), static_cast<DWORD>(ISMEX_SEND));
    // On the owner thread itself the call is direct and not "sent".
    EXPECT_EQ(InSendMessageEx(nullptr), static_cast<DWORD>(ISMEX_NOSEND));
}

TEST(SendMessageW, ReachesAThreadWaitingInMsgWaitForMultipleObjects) {
    auto cls = UniqueClass(AnswerProc);
    Target target(cls, WaitStyle::MsgWait);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(SendMessageW(target.hwnd, kAsk, static_cast<WPARAM>(i), 0), i + 1);
}

TEST(SendMessageW, TwoThreadsSendingToEachOtherDoNotDeadlock) {
    auto cls = UniqueClass(AnswerProc);
    g_mainWindow = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
    Target target(cls, WaitStyle::Peek);
    g_handledOn = 0;
    // The target's handler sends back to this thread, which is waiting in
    // its own SendMessageW and must handle that inner message meanwhile.
    EXPECT_EQ(SendMessageW(target.hwnd, kAskBack, 4, 0), 50);
    EXPECT_EQ(g_handledOn.load(), GetCurrentThreadId());
    DestroyWindow(g_mainWindow);
}

TEST(SendMessageTimeoutW, TimesOutOnAHungThreadAndFailsForBadHandles) {
    auto cls = UniqueClass(AnswerProc);
    Target target(cls, WaitStyle::Blocked);
    DWORD_PTR result = 7;
    DWORD start = GetTickCount();
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(target.hwnd, kAsk, 1, 0, SMTO_NORMAL, 100, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(result, 7u) << "no result is written on timeout";

    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(reinterpret_cast<HWND>(0x1234), kAsk, 1, 0, SMTO_NORMAL, 100, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(SendMessageW, ASenderIsReleasedWhenTheTargetThreadEnds) {
    auto cls = UniqueClass(AnswerProc);
    HWND hwnd = nullptr;
    {
        Target target(cls, WaitStyle::Blocked);
        hwnd = target.hwnd;
        std::atomic<LRESULT> result{-1};
        HANDLE sender = StartThread([&] { result = SendMessageW(hwnd, kAsk, 1, 0); });
        Sleep(50);
        SetEvent(target.release);  // the target ends without handling the message
        EXPECT_EQ(WaitForSingleObject(sender, 10000), WAIT_OBJECT_0);
        CloseHandle(sender);
        EXPECT_EQ(result.load(), 0);
    }
    EXPECT_FALSE(IsWindow(hwnd)) << "a thread's windows end with it";
}

TEST(PostMessageW, QueuesForTheOwnerAndRefusesUnknownWindows) {
    auto cls = UniqueClass(RecordingProc);
    HWND hwnd = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
    Log().Clear();
    EXPECT_TRUE(PostMessageW(hwnd, WM_USER + 3, 1, 2));
    EXPECT_TRUE(Log().Only({WM_USER + 3}).empty()) << "posting does not call the procedure";
    PumpPending();
    EXPECT_EQ(Log().Only({WM_USER + 3}).size(), 1u);
    DestroyWindow(hwnd);
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(hwnd, WM_USER + 3, 1, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}
