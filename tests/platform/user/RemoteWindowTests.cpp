// Windows of another process: found by class, posted and sent to with
// numbers only, brought to the foreground.
#include "UserTestSupport.h"

using namespace orvi::test;

namespace {

constexpr UINT kDouble = WM_USER + 5;
constexpr UINT kAreYouForeground = WM_USER + 6;
bool g_pointerMessageArrived = false;

LRESULT RemoteProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kDouble:
        return (InSendMessageEx(nullptr) & ISMEX_OTHERPROCESS) ? static_cast<LRESULT>(wParam) * 2 : -1;
    case kAreYouForeground:
        return GetForegroundWindow() == hwnd ? 1 : 0;
    case WM_SETTEXT:
    case WM_COPYDATA:
        g_pointerMessageArrived = true;
        return 0;
    case WM_DESTROY:
        PostQuitMessage(g_pointerMessageArrived ? 3 : 0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

ORVI_TEST_CHILD_MAIN(RemoteWindowOwner) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RemoteProc;
    wc.lpszClassName = u"OrviRemoteTarget";
    if (!RegisterClassW(&wc))
        return 10;
    HWND target = CreateWindowExW(0, u"OrviRemoteTarget", u"Remote", WS_VISIBLE, 0, 30, 50, 50, nullptr,
                                  nullptr, nullptr, nullptr);
    // A second window takes the foreground, so that the parent has to move it.
    HWND other = CreateWindowExW(0, u"OrviRemoteTarget", u"Other", WS_VISIBLE, 0, 30, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
    if (!target || !other || GetForegroundWindow() != other)
        return 11;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return static_cast<int>(msg.wParam);
}

TEST(FindWindowW, ReachesAWindowOfAnotherProcess) {
    ChildProcess child("RemoteWindowOwner");
    HWND remote = nullptr;
    // The child may take long to start on a loaded machine under a sanitizer.
    for (int i = 0; i < 3000 && !remote; ++i) {
        remote = FindWindowW(u"orviremotetarget", u"Remote");
        if (!remote)
            Sleep(10);
    }
    ASSERT_NE(remote, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(remote) & 1, 0u);
    EXPECT_TRUE(IsWindow(remote));
    WCHAR title[16];
    EXPECT_EQ(GetWindowTextW(remote, title, 16), 6);
    EXPECT_EQ(std::u16string(title), u"Remote");

    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(remote, kDouble, 21, 0, SMTO_NORMAL, 5000, &result));
    EXPECT_EQ(result, 42u) << "handled as a message from another process";

    // Pointer-carrying system messages stop at the boundary.
    WCHAR text[] = u"injected";
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(remote, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(remote, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                                  &result),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_EQ(SendMessageW(remote, kAreYouForeground, 0, 0), 0);
    EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(remote) | 1)));
    EXPECT_EQ(SendMessageW(remote, kAreYouForeground, 0, 0), 1);

    EXPECT_TRUE(PostMessageW(remote, WM_CLOSE, 0, 0));
    EXPECT_EQ(child.Wait(), 0) << "3: a pointer message reached the window procedure";
    EXPECT_EQ(FindWindowW(u"OrviRemoteTarget", nullptr), nullptr);
    SetLastError(0);
    EXPECT_FALSE(PostMessageW(remote, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}
