// Windows: classes, creation and destruction, the tree, window data.
#include "UserTestSupport.h"
#include "display/Display.h"

using namespace orvi::test;

namespace {

LRESULT FailCreateProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE)
        return -1;
    return RecordingProc(hwnd, msg, wParam, lParam);
}

LRESULT CreateParamProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

WNDPROC g_previous = nullptr;
int g_subclassCalls = 0;

LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 7) {
        ++g_subclassCalls;
        wParam += 100;
    }
    return CallWindowProcW(g_previous, hwnd, msg, wParam, lParam);
}

LRESULT EchoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 7)
        return static_cast<LRESULT>(wParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

BOOL CountChild(HWND, LPARAM lParam) {
    ++*reinterpret_cast<int*>(lParam);
    return TRUE;
}

}  // namespace

TEST(RegisterClassW, RejectsDuplicatesAndClassesInUse) {
    auto cls = UniqueClass(DefWindowProcW);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = cls.c_str();
    SetLastError(0);
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    wc.lpfnWndProc = nullptr;
    wc.lpszClassName = u"OrviNoProc";
    EXPECT_EQ(RegisterClassW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HWND hwnd = MakeTopLevel(cls, {0, 30, 50, 80}, 0);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(UnregisterClassW(cls.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    WCHAR name[64];
    EXPECT_EQ(GetClassNameW(hwnd, name, 64), static_cast<int>(cls.size()));
    EXPECT_EQ(std::u16string(name), cls);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(UnregisterClassW(cls.c_str(), nullptr));
    EXPECT_FALSE(UnregisterClassW(cls.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST(CreateWindowExW, SendsCreationAndDestructionMessagesInOrder) {
    auto cls = UniqueClass(RecordingProc);
    Log().Clear();
    HWND parent = MakeTopLevel(cls, {0, 30, 100, 130}, 0);
    HWND child = MakeChild(cls, parent, {5, 5, 25, 25}, 1, WS_CHILD);
    ASSERT_NE(parent, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(parent) & 1, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(child) & 1, 0u);
    auto created = Log().Only({WM_CREATE, WM_SIZE, WM_MOVE});
    std::vector<std::pair<HWND, UINT>> expected{{parent, WM_CREATE}, {parent, WM_SIZE}, {parent, WM_MOVE},
                                                {child, WM_CREATE},  {child, WM_SIZE},  {child, WM_MOVE}};
    EXPECT_EQ(created, expected);

    Log().Clear();
    EXPECT_TRUE(DestroyWindow(parent));
    auto destroyed = Log().Only({WM_DESTROY, WM_NCDESTROY});
    expected = {{parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    EXPECT_EQ(destroyed, expected);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(CreateWindowExW, FailsForBadArgumentsAndRefusingWindows) {
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, u"OrviNoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    auto cls = UniqueClass(RecordingProc);
    EXPECT_EQ(MakeChild(cls, nullptr, {0, 0, 1, 1}), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));

    auto refusing = UniqueClass(FailCreateProc);
    Log().Clear();
    EXPECT_EQ(MakeTopLevel(refusing, {0, 30, 10, 40}), nullptr);
    EXPECT_EQ(Log().Only({WM_DESTROY}).size(), 1u);
    EXPECT_TRUE(UnregisterClassW(refusing.c_str(), nullptr)) << "the refused window must be gone";
}

TEST(CreateWindowExW, DefaultPositionIsTheWorkAreaAndParamReachesCreate) {
    auto cls = UniqueClass(CreateParamProc);
    int marker = 0;
    HWND hwnd = CreateWindowExW(0, cls.c_str(), u"t", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, nullptr, &marker);
    ASSERT_NE(hwnd, nullptr);
    RECT r{}, work = orvi::display::WorkArea();
    EXPECT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_TRUE(EqualRect(&r, &work));
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_USERDATA), reinterpret_cast<LONG_PTR>(&marker));
    DestroyWindow(hwnd);
}

TEST(GetWindow, FollowsZOrderAndRelations) {
    auto cls = UniqueClass(DefWindowProcW);
    HWND parent = MakeTopLevel(cls, {10, 40, 110, 140}, WS_BORDER);
    HWND first = MakeChild(cls, parent, {0, 0, 10, 10}, 101);
    HWND second = MakeChild(cls, parent, {20, 20, 30, 30}, 102);
    // A new window goes on top of its siblings.
    EXPECT_EQ(GetWindow(parent, GW_CHILD), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDPREV), second);
    EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), nullptr);
    EXPECT_TRUE(SetWindowPos(second, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    EXPECT_EQ(GetWindow(parent, GW_CHILD), first);
    EXPECT_EQ(GetWindow(first, GW_HWNDLAST), second);
    EXPECT_EQ(GetDlgItem(parent, 102), second);
    EXPECT_EQ(GetDlgItem(parent, 999), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
    EXPECT_EQ(GetParent(first), parent);
    EXPECT_TRUE(IsChild(parent, first));
    EXPECT_FALSE(IsChild(first, parent));
    MakeChild(cls, first, {1, 1, 2, 2});
    int count = 0;
    EXPECT_TRUE(EnumChildWindows(parent, CountChild, reinterpret_cast<LPARAM>(&count)));
    EXPECT_EQ(count, 3);

    // The border takes one pixel; child positions are relative to the client area.
    RECT client{};
    EXPECT_TRUE(GetClientRect(parent, &client));
    EXPECT_EQ(client.right, 98);
    POINT pt{20, 20};
    EXPECT_EQ(MapWindowPoints(second, parent, &pt, 1), MAKELONG(20, 20));
    EXPECT_EQ(pt.x, 40);
    pt = {0, 0};
    EXPECT_TRUE(ClientToScreen(second, &pt));
    EXPECT_EQ(pt.x, 10 + 1 + 20);
    EXPECT_EQ(pt.y, 40 + 1 + 20);
    EXPECT_TRUE(MoveWindow(second, 50, 60, 10, 10, TRUE));
    RECT moved{};
    GetWindowRect(second, &moved);
    EXPECT_EQ(moved.left, 61);
    EXPECT_EQ(moved.bottom, 111);
    DestroyWindow(parent);
    EXPECT_EQ(GetParent(first), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(SetWindowLongPtrW, SubclassesAndKeepsPointerSizedData) {
    auto cls = UniqueClass(EchoProc, nullptr, 2 * sizeof(LONG_PTR));
    HWND hwnd = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
    g_subclassCalls = 0;
    g_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(g_previous, EchoProc);
    EXPECT_EQ(SendMessageW(hwnd, WM_USER + 7, 5, 0), 105);
    EXPECT_EQ(g_subclassCalls, 1);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(SubclassProc));

    const LONG_PTR wide = static_cast<LONG_PTR>(0x123456789abcdef0LL);
    SetWindowLongPtrW(hwnd, GWL_USERDATA, wide);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_USERDATA), wide);
    SetWindowLongPtrW(hwnd, sizeof(LONG_PTR), wide);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, sizeof(LONG_PTR)), wide);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, 0), 0);

    SetLastError(0);
    EXPECT_EQ(GetWindowLongW(hwnd, GWL_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, 2 * sizeof(LONG_PTR)), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(hwnd);
}

TEST(SetWindowTextW, GoesThroughMessagesAndProperties) {
    auto cls = UniqueClass(DefWindowProcW);
    HWND hwnd = MakeTopLevel(cls, {0, 30, 10, 40}, 0);
    EXPECT_TRUE(SetWindowTextW(hwnd, u"Calvaro"));
    WCHAR text[5];
    EXPECT_EQ(GetWindowTextW(hwnd, text, 5), 4);
    EXPECT_EQ(std::u16string(text), u"Calv");
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 7);
    EXPECT_EQ(FindWindowW(cls.c_str(), u"Calvaro"), hwnd);

    int a = 0;
    EXPECT_TRUE(SetPropW(hwnd, u"Orvi.Prop", &a));
    EXPECT_EQ(GetPropW(hwnd, u"ORVI.PROP"), &a);
    EXPECT_EQ(RemovePropW(hwnd, u"orvi.prop"), &a);
    EXPECT_EQ(GetPropW(hwnd, u"Orvi.Prop"), nullptr);
    DestroyWindow(hwnd);
    EXPECT_FALSE(SetWindowTextW(hwnd, u"x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(SetPropW(hwnd, u"p", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}
