// The window framework: CWindowImpl binding and subclassing, CMessageLoop's
// filters and idle handlers, CAppModule's loop table.
#include <gtest/gtest.h>

#include <vector>

#include "platform.h"
#include "winloop.h"
#include "winwindow.h"

namespace {

constexpr UINT kPing = WM_USER + 7;

class CRecordingWindow : public CWindowImpl<CRecordingWindow, CWindow, CFrameWinTraits> {
public:
    static LPCWSTR GetWndClassName() { return u"OrviFrameworkTest"; }

    BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM, LRESULT& lResult,
                              DWORD) override {
        messages.push_back(message);
        switch (message) {
        case WM_CREATE: handleAtCreate = m_hWnd == hWnd; return FALSE;
        case kPing: lResult = static_cast<LRESULT>(wParam) * 2; return TRUE;
        default: return FALSE;
        }
    }
    void OnFinalMessage(HWND hWnd) override { finalWindow = hWnd; }

    std::vector<UINT> messages;
    bool handleAtCreate = false;
    HWND finalWindow = nullptr;
};

TEST(CWindowImpl, BindsBeforeCreateAndReleasesAfterTheLastMessage) {
    CRecordingWindow window;
    HWND hWnd = window.Create(nullptr, nullptr, u"framework");
    ASSERT_NE(hWnd, nullptr);
    EXPECT_TRUE(window.handleAtCreate);
    EXPECT_EQ(window.SendMessage(kPing, 21), 42);
    // Unhandled messages reach the default procedure: the caption is stored.
    window.SetWindowText(u"renamed");
    WCHAR text[32] = {};
    EXPECT_EQ(window.GetWindowText(text, 32), 7);
    EXPECT_EQ(std::u16string(text), u"renamed");

    EXPECT_TRUE(window.DestroyWindow());
    EXPECT_EQ(window.finalWindow, hWnd);
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_NCDESTROY));
    // The class stays registered: a second object makes a second window.
    CRecordingWindow second;
    ASSERT_NE(second.Create(nullptr, nullptr, u"again"), nullptr);
    second.DestroyWindow();
}

LRESULT CALLBACK PlainProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing)
        return 1000 + static_cast<LRESULT>(wParam);
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

class CInterceptor : public CWindowImpl<CInterceptor> {
public:
    BOOL ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& lResult,
                              DWORD) override {
        if (message != kPing || wParam != 1)
            return FALSE;
        lResult = 7;
        return TRUE;
    }
};

TEST(CWindowImpl, SubclassPassesUnhandledMessagesToTheOriginalProcedure) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = u"OrviPlainForSubclass";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hWnd = CreateWindowExW(0, u"OrviPlainForSubclass", u"", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);

    CInterceptor interceptor;
    ASSERT_TRUE(interceptor.SubclassWindow(hWnd));
    EXPECT_FALSE(interceptor.SubclassWindow(hWnd));  // one window per object
    EXPECT_EQ(SendMessageW(hWnd, kPing, 1, 0), 7);
    EXPECT_EQ(SendMessageW(hWnd, kPing, 2, 0), 1002);

    EXPECT_EQ(interceptor.UnsubclassWindow(), hWnd);
    EXPECT_EQ(SendMessageW(hWnd, kPing, 1, 0), 1001);
    DestroyWindow(hWnd);
    UnregisterClassW(u"OrviPlainForSubclass", nullptr);
}

class CCountingFilter : public CMessageFilter {
public:
    CCountingFilter(std::vector<int>& order, int id, bool eat) : m_order(order), m_id(id), m_eat(eat) {}
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message != kPing)
            return FALSE;
        m_order.push_back(m_id);
        return m_eat ? TRUE : FALSE;
    }

private:
    std::vector<int>& m_order;
    int m_id;
    bool m_eat;
};

class CQuitWhenIdle : public CIdleHandler {
public:
    BOOL OnIdle() override {
        ++calls;
        PostQuitMessage(5);
        return FALSE;
    }
    int calls = 0;
};

TEST(CMessageLoop, FiltersRunNewestFirstAndIdleHandlersRunWhenTheQueueIsDry) {
    std::vector<int> order;
    CCountingFilter older(order, 1, false);
    CCountingFilter newer(order, 2, true);
    CQuitWhenIdle idle;
    CMessageLoop loop;
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&newer);
    loop.AddIdleHandler(&idle);
    // The queue is not dry before the posted message is handled: idle runs
    // once, after it.
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), kPing, 0, 0));
    EXPECT_EQ(loop.Run(), 5);
    EXPECT_EQ(order, std::vector<int>{2});  // the newer filter ate the message
    EXPECT_EQ(idle.calls, 1);

    EXPECT_TRUE(loop.RemoveMessageFilter(&newer));
    EXPECT_FALSE(loop.RemoveMessageFilter(&newer));
}

TEST(CAppModule, KeepsOneLoopPerThread) {
    CAppModule module;
    ASSERT_EQ(module.Init(nullptr, nullptr), S_OK);
    CMessageLoop mine;
    CMessageLoop another;
    EXPECT_TRUE(module.AddMessageLoop(&mine));
    EXPECT_FALSE(module.AddMessageLoop(&another));
    EXPECT_EQ(module.GetMessageLoop(), &mine);

    struct Shared {
        CAppModule* module;
        CMessageLoop* loop;
        BOOL added;
        DWORD threadId;
    } shared{&module, &another, FALSE, 0};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Shared*>(p);
            s->added = s->module->AddMessageLoop(s->loop);
            s->threadId = GetCurrentThreadId();
            return 0;
        },
        &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(shared.added);
    EXPECT_EQ(module.GetMessageLoop(shared.threadId), &another);

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
    EXPECT_EQ(module.GetMessageLoop(shared.threadId), nullptr);
}

}  // namespace
