// Invalidation, BeginPaint's erase, and the clipping of window DCs, checked
// on the screen's pixels.
#include "UserTestSupport.h"
#include "display/Display.h"

using namespace orvi::test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

uint32_t Pixel(int x, int y) {
    std::lock_guard guard(orvi::display::ScreenLock());
    return orvi::display::ScreenPixels()[y * orvi::display::Geometry().width + x];
}

constexpr uint32_t kScreenRed = 0xFF0000;
constexpr uint32_t kScreenBlue = 0x0000FF;

void FillWindow(HWND hwnd, COLORREF color) {
    HDC hdc = GetDC(hwnd);
    ASSERT_NE(hdc, nullptr);
    RECT r{0, 0, 500, 500};
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(hdc, &r, brush);
    DeleteObject(brush);
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 1);
}

BOOL g_fErase = TRUE;
RECT g_rcPaint{};

LRESULT PaintingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Log().Add({hwnd, msg, wParam, lParam});
    if (msg != WM_PAINT)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    g_fErase = ps.fErase;
    g_rcPaint = ps.rcPaint;
    EndPaint(hwnd, &ps);
    return 0;
}

}  // namespace

TEST(BeginPaint, ErasesWithTheClassBrushAndValidates) {
    HBRUSH blue = CreateSolidBrush(kBlue);
    auto cls = UniqueClass(PaintingProc, blue);
    HWND hwnd = MakeTopLevel(cls, {20, 60, 60, 100});
    PumpPending();
    FillWindow(hwnd, kRed);
    EXPECT_EQ(Pixel(30, 70), kScreenRed);

    Log().Clear();
    RECT part{0, 0, 10, 10};
    EXPECT_TRUE(InvalidateRect(hwnd, &part, TRUE));
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_TRUE(EqualRect(&update, &part));
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_EQ(Log().Only({WM_PAINT, WM_ERASEBKGND}),
              (std::vector<std::pair<HWND, UINT>>{{hwnd, WM_PAINT}, {hwnd, WM_ERASEBKGND}}));
    EXPECT_FALSE(g_fErase) << "the class brush erased";
    EXPECT_TRUE(EqualRect(&g_rcPaint, &part));
    EXPECT_EQ(Pixel(25, 65), kScreenBlue) << "inside the update area";
    EXPECT_EQ(Pixel(35, 75), kScreenRed) << "outside the update area";
    EXPECT_FALSE(GetUpdateRect(hwnd, nullptr, FALSE));
    DestroyWindow(hwnd);
    DeleteObject(blue);

    SetLastError(0);
    EXPECT_FALSE(InvalidateRect(hwnd, nullptr, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(GetDC, ClipsChildrenSiblingsAndCoveringWindows) {
    auto cls = UniqueClass(DefWindowProcW);
    HWND parent = MakeTopLevel(cls, {0, 100, 100, 200}, WS_VISIBLE | WS_CLIPCHILDREN);
    HWND child = MakeChild(cls, parent, {10, 10, 30, 30}, 1, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
    HWND above = MakeChild(cls, parent, {20, 20, 40, 40}, 2, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
    HWND cover = MakeTopLevel(cls, {80, 100, 120, 140});
    PumpPending();

    FillWindow(child, kBlue);
    FillWindow(parent, kRed);
    EXPECT_EQ(Pixel(5, 105), kScreenRed);
    EXPECT_EQ(Pixel(15, 115), kScreenBlue) << "WS_CLIPCHILDREN keeps the parent off its child";
    EXPECT_NE(Pixel(85, 105), kScreenRed) << "a top-level window above covers the parent";

    FillWindow(above, kRed);
    FillWindow(child, kBlue);
    EXPECT_EQ(Pixel(25, 125), kScreenRed) << "WS_CLIPSIBLINGS keeps the child off the sibling above";
    EXPECT_EQ(Pixel(15, 115), kScreenBlue);

    HDC none = GetDC(reinterpret_cast<HWND>(0x2468));
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(cover);
    DestroyWindow(parent);
}

TEST(ShowWindow, HidingInvalidatesWhatWasCovered) {
    auto cls = UniqueClass(RecordingProc);
    HWND below = MakeTopLevel(cls, {0, 100, 100, 200});
    HWND top = MakeTopLevel(cls, {50, 150, 90, 190});
    PumpPending();
    EXPECT_FALSE(GetUpdateRect(below, nullptr, FALSE));
    Log().Clear();
    EXPECT_TRUE(ShowWindow(top, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(top));
    EXPECT_EQ(Log().Only({WM_SHOWWINDOW}), (std::vector<std::pair<HWND, UINT>>{{top, WM_SHOWWINDOW}}));
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(below, &update, FALSE));
    RECT expected{50, 50, 90, 90};
    EXPECT_TRUE(EqualRect(&update, &expected));
    EXPECT_FALSE(ShowWindow(top, SW_HIDE)) << "already hidden";
    DestroyWindow(top);
    FillWindow(below, kRed);
    DestroyWindow(below);
    COLORREF desktop = GetSysColor(COLOR_DESKTOP);
    EXPECT_EQ(Pixel(10, 110), static_cast<uint32_t>((GetRValue(desktop) << 16) | (GetGValue(desktop) << 8) |
                                                    GetBValue(desktop)))
        << "bare desktop is repainted";
}
