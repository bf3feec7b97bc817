// Focus, activation, capture and the input the display injects.
#include "UserTestSupport.h"
#include "user/Input.h"

using namespace orvi::test;

TEST(SetFocus, TellsTheOldWindowFirstAndReturnsIt) {
    auto cls = UniqueClass(RecordingProc);
    HWND top = MakeTopLevel(cls, {0, 30, 100, 130});
    HWND a = MakeChild(cls, top, {0, 0, 10, 10}, 1);
    HWND b = MakeChild(cls, top, {20, 0, 30, 10}, 2);
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_EQ(GetFocus(), top) << "an activated window takes the focus";
    EXPECT_EQ(SetFocus(a), top);
    Log().Clear();
    EXPECT_EQ(SetFocus(b), a);
    EXPECT_EQ(GetFocus(), b);
    auto order = Log().Only({WM_KILLFOCUS, WM_SETFOCUS});
    EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{a, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));

    SetLastError(0);
    EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x2468)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetFocus(), b);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), nullptr) << "the focus does not stay on a destroyed window";
    DestroyWindow(top);
}

TEST(SetActiveWindow, DeactivatesTheOldWindowFirst) {
    auto cls = UniqueClass(RecordingProc);
    HWND first = MakeTopLevel(cls, {0, 30, 50, 80});
    HWND second = MakeTopLevel(cls, {60, 30, 110, 80});
    EXPECT_EQ(GetForegroundWindow(), second);
    Log().Clear();
    EXPECT_EQ(SetActiveWindow(first), second);
    std::vector<Logged> activations;
    for (auto& m : Log().Take())
        if (m.msg == WM_ACTIVATE)
            activations.push_back(m);
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0].hwnd, second);
    EXPECT_EQ(LOWORD(activations[0].wParam), WA_INACTIVE);
    EXPECT_EQ(activations[1].hwnd, first);
    EXPECT_EQ(LOWORD(activations[1].wParam), WA_ACTIVE);
    EXPECT_EQ(reinterpret_cast<HWND>(activations[1].lParam), second);

    EXPECT_TRUE(SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(second) | 1)));
    EXPECT_EQ(GetForegroundWindow(), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDFIRST), second) << "the foreground window comes to the top";
    DestroyWindow(second);
    EXPECT_EQ(GetActiveWindow(), first) << "the next window takes over";
    DestroyWindow(first);
}

TEST(InjectMouse, GoesToTheWindowUnderThePointOrTheCapture) {
    auto cls = UniqueClass(RecordingProc);
    HWND top = MakeTopLevel(cls, {0, 100, 100, 200});
    HWND child = MakeChild(cls, top, {10, 10, 50, 50}, 1);
    MakeChild(cls, top, {60, 10, 90, 50}, 2, WS_CHILD | WS_VISIBLE | WS_DISABLED);
    PumpPending();
    Log().Clear();
    orvi::user::InjectMouse(WM_LBUTTONDOWN, POINT{15, 120});
    orvi::user::InjectMouse(WM_MOUSEMOVE, POINT{70, 120});  // over the disabled child
    EXPECT_EQ(SetCapture(child), nullptr);
    orvi::user::InjectMouse(WM_LBUTTONUP, POINT{95, 195});
    PumpPending();
    std::vector<Logged> mouse;
    for (auto& m : Log().Take())
        if (m.msg >= WM_MOUSEFIRST && m.msg <= WM_MOUSELAST)
            mouse.push_back(m);
    ASSERT_EQ(mouse.size(), 3u);
    EXPECT_EQ(mouse[0].hwnd, child);
    EXPECT_EQ(mouse[0].lParam, MAKELPARAM(5, 10));
    EXPECT_EQ(mouse[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(mouse[1].hwnd, top);
    EXPECT_EQ(mouse[1].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(mouse[2].hwnd, child) << "the capture takes the release";
    EXPECT_EQ(mouse[2].lParam, MAKELPARAM(85, 85));
    EXPECT_EQ(GetMessagePos(), static_cast<DWORD>(MAKELONG(95, 195)));
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    DestroyWindow(top);
}

TEST(TranslateMessage, TurnsInjectedKeysIntoCharacters) {
    auto cls = UniqueClass(RecordingProc);
    HWND top = MakeTopLevel(cls, {0, 30, 50, 80});
    SetFocus(top);
    PumpPending();
    Log().Clear();
    orvi::user::InjectKey('A', true);
    orvi::user::InjectKey('A', false);
    orvi::user::InjectKey(VK_LEFT, true);
    EXPECT_TRUE(GetKeyState(VK_LEFT) < 0);
    EXPECT_FALSE(GetKeyState('A') < 0);
    PumpPending();
    auto keys = Log().Only({WM_KEYDOWN, WM_KEYUP, WM_CHAR});
    EXPECT_EQ(keys.size(), 4u) << "a character for the letter only";
    std::vector<Logged> chars;
    for (auto& m : Log().Take())
        if (m.msg == WM_CHAR)
            chars.push_back(m);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].wParam, static_cast<WPARAM>(u'a'));
    orvi::user::InjectKey(VK_LEFT, false);
    DestroyWindow(top);
}
