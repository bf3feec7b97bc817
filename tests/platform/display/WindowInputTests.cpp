// The automation socket and the navigation bar against real windows: input
// reaches the focus window's thread, wait-idle follows the window threads,
// and the bar shows the foreground window's caption.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <vector>

#include "AutomationClient.h"
#include "display/Presenter.h"
#include "display/internal.h"
#include "kernelapi.h"
#include "winuser.h"

using namespace orvi::display;
using orvi::test::AutomationClient;

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::mutex g_seenLock;
std::vector<Seen> g_seen;

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR ||
        message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
        std::lock_guard lock(g_seenLock);
        g_seen.push_back({message, wParam, lParam});
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A top-level window on a thread of its own. The thread holds off pumping
// until Release(), so the test can see it busy first.
class WindowThread {
public:
    explicit WindowThread(const char16_t* caption) : m_caption(caption) {
        m_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = CreateThread(nullptr, 0, &WindowThread::Main, this, 0, &m_threadId);
        WaitForSingleObject(m_ready, 10000);
    }
    ~WindowThread() {
        Release();
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread, 10000);
        for (HANDLE h : {m_thread, m_ready, m_release})
            CloseHandle(h);
    }
    void Release() { SetEvent(m_release); }
    HWND Window() const { return m_hwnd; }

private:
    static DWORD Main(LPVOID self) { return static_cast<WindowThread*>(self)->Run(); }
    DWORD Run() {
        static const bool registered = [] {
            WNDCLASSW cls{};
            cls.lpfnWndProc = RecordingProc;
            cls.lpszClassName = u"DisplayTestWindow";
            return RegisterClassW(&cls) != 0;
        }();
        if (registered)
            m_hwnd = CreateWindowExW(0, u"DisplayTestWindow", m_caption, WS_VISIBLE, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                     nullptr, nullptr);
        SetForegroundWindow(m_hwnd);
        SetFocus(m_hwnd);
        SetEvent(m_ready);
        WaitForSingleObject(m_release, INFINITE);  // busy: not waiting for its queue
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DestroyWindow(m_hwnd);
        return 0;
    }

    const char16_t* m_caption;
    HANDLE m_ready = nullptr;
    HANDLE m_release = nullptr;
    HANDLE m_thread = nullptr;
    DWORD m_threadId = 0;
    HWND m_hwnd = nullptr;
};

std::string SocketPath() {
    return (std::filesystem::temp_directory_path() /
            ("orvi-winput-" + std::to_string(getpid())))
        .string();
}

bool Saw(UINT message, WPARAM wParam) {
    std::lock_guard lock(g_seenLock);
    for (const Seen& s : g_seen)
        if (s.message == message && s.wParam == wParam)
            return true;
    return false;
}

// Light pixels in the bar's left half, where the caption goes.
int LightCaptionPixels() {
    const RECT bar = NavBarRect();
    const int width = Geometry().width;
    int light = 0;
    std::lock_guard lock(ScreenLock());
    for (LONG y = bar.top; y < bar.bottom; ++y)
        for (LONG x = 0; x < width / 2; ++x)
            if ((ScreenPixels()[y * width + x] & 0xFF) > 0xA0)
                ++light;
    return light;
}

}  // namespace

TEST(WaitIdle, TimesOutWhileAWindowThreadIsBusyAndSucceedsOnceItPumps) {
    const std::string path = SocketPath() + "-idle";
    ASSERT_TRUE(StartAutomation(path));
    AutomationClient client(path);
    ASSERT_TRUE(client.Connect());
    WindowThread window(u"Busy");
    ASSERT_NE(nullptr, window.Window());
    EXPECT_EQ("error timeout", client.Command("wait-idle 200"));
    window.Release();
    EXPECT_EQ("ok", client.Command("wait-idle 10000"));
}

TEST(AutomationInput, KeysTextAndTapsReachTheFocusWindow) {
    const std::string path = SocketPath() + "-input";
    ASSERT_TRUE(StartAutomation(path));
    AutomationClient client(path);
    ASSERT_TRUE(client.Connect());
    WindowThread window(u"Input");
    window.Release();
    {
        std::lock_guard lock(g_seenLock);
        g_seen.clear();
    }
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(window.Window(), &rect));
    const POINT tap{rect.left + 7, rect.top + 11};
    for (const std::string& line : {std::string("key left"), std::string("key back"),
                                    std::string("text \xC3\xA9!"),
                                    "tap " + std::to_string(tap.x) + " " + std::to_string(tap.y),
                                    std::string("wait-idle 10000")})
        EXPECT_EQ("ok", client.Command(line)) << line;
    EXPECT_TRUE(Saw(WM_KEYDOWN, VK_LEFT));
    EXPECT_TRUE(Saw(WM_KEYUP, VK_LEFT));
    EXPECT_TRUE(Saw(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_TRUE(Saw(WM_CHAR, u'\u00E9'));
    EXPECT_TRUE(Saw(WM_CHAR, u'!'));
    POINT local{tap};
    ASSERT_TRUE(ScreenToClient(window.Window(), &local));
    std::lock_guard lock(g_seenLock);
    bool down = false;
    for (const Seen& s : g_seen)
        if (s.message == WM_LBUTTONDOWN)
            down = LOWORD(s.lParam) == local.x && HIWORD(s.lParam) == local.y;
    EXPECT_TRUE(down);
}

TEST(NavBarChanged, ShowsTheForegroundWindowsCaption) {
    WindowThread window(u"WWWWWWWW");
    window.Release();
    ASSERT_TRUE(Presenter::Instance().Flush(std::chrono::seconds(10)));
    EXPECT_GT(LightCaptionPixels(), 20);
    ASSERT_TRUE(SetWindowTextW(window.Window(), u""));
    ASSERT_TRUE(Presenter::Instance().Flush(std::chrono::seconds(10)));
    EXPECT_EQ(0, LightCaptionPixels());
}
