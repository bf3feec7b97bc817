// FillRect, pixels, lines, rectangles, DrawEdge and screen DCs.
#include <mutex>

#include "GdiTestSupport.h"
#include "gdi/ScreenDc.h"
#include "gdi/internal.h"

using orvi::test::DibDc;

TEST(FillRect, SystemColourBrushValuesAndExclusiveEdges) {
    DibDc dib(6, 6);
    dib.Fill(RGB(1, 1, 1));
    RECT r{1, 1, 4, 3};
    ASSERT_TRUE(FillRect(dib.Dc(), &r, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ(dib.Color(1, 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(dib.Color(3, 2), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(dib.Color(4, 2), RGB(1, 1, 1));
    EXPECT_EQ(dib.Color(3, 3), RGB(1, 1, 1));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOW & ~SYS_COLOR_INDEX_FLAG));

    RECT all{0, 0, 6, 6};
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    ASSERT_TRUE(FillRect(dib.Dc(), &all, face));
    EXPECT_EQ(dib.Color(5, 5), GetSysColor(COLOR_BTNFACE));
    EXPECT_TRUE(DeleteObject(face));  // system brushes ignore deletion
    EXPECT_TRUE(FillRect(dib.Dc(), &all, face));

    SetLastError(0);
    EXPECT_FALSE(FillRect(dib.Dc(), &all, reinterpret_cast<HBRUSH>(0x7777)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SetPixel, ClipsToBitmapAndMonoTakesNearestColour) {
    DibDc dib(4, 4);
    EXPECT_EQ(SetPixel(dib.Dc(), 2, 3, RGB(10, 20, 30)), RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(dib.Dc(), 2, 3), RGB(10, 20, 30));
    EXPECT_EQ(dib.At(2, 3), 0x000A141Eu);
    EXPECT_EQ(SetPixel(dib.Dc(), 4, 0, RGB(1, 1, 1)), CLR_INVALID);
    EXPECT_EQ(GetPixel(dib.Dc(), -1, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dib.Dc(), 0, 4), CLR_INVALID);

    HDC mono = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(mono, 2, 1);
    HGDIOBJ old = SelectObject(mono, bitmap);
    EXPECT_EQ(SetPixel(mono, 0, 0, RGB(230, 230, 200)), RGB(255, 255, 255));
    EXPECT_EQ(SetPixel(mono, 1, 0, RGB(40, 10, 90)), RGB(0, 0, 0));
    SelectObject(mono, old);
    DeleteObject(bitmap);
    DeleteDC(mono);
}

TEST(LineTo, EndPointIsExcludedAndPenPositionMoves) {
    DibDc dib(10, 10);
    dib.Fill(RGB(255, 255, 255));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(dib.Dc(), pen);
    POINT previous{};
    EXPECT_TRUE(MoveToEx(dib.Dc(), 1, 1, &previous));
    ASSERT_TRUE(LineTo(dib.Dc(), 5, 1));
    EXPECT_EQ(dib.Color(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(4, 1), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(5, 1), RGB(255, 255, 255));
    ASSERT_TRUE(LineTo(dib.Dc(), 8, 4));  // continues from (5, 1), diagonally
    EXPECT_EQ(dib.Color(6, 2), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(7, 3), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(8, 4), RGB(255, 255, 255));
    EXPECT_TRUE(MoveToEx(dib.Dc(), 0, 0, &previous));
    EXPECT_EQ(previous.x, 8);
    EXPECT_EQ(previous.y, 4);
    SelectObject(dib.Dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);

    // Dashes: 18 pixels on, 6 off.
    HPEN dash = CreatePen(PS_DASH, 1, RGB(0, 0, 255));
    DibDc row(30, 1);
    SelectObject(row.Dc(), dash);
    MoveToEx(row.Dc(), 0, 0, nullptr);
    ASSERT_TRUE(LineTo(row.Dc(), 30, 0));
    EXPECT_EQ(row.Color(17, 0), RGB(0, 0, 255));
    EXPECT_EQ(row.Color(18, 0), RGB(0, 0, 0));
    EXPECT_EQ(row.Color(23, 0), RGB(0, 0, 0));
    EXPECT_EQ(row.Color(24, 0), RGB(0, 0, 255));
    SelectObject(row.Dc(), GetStockObject(BLACK_PEN));
    DeleteObject(dash);
}

TEST(Rectangle, PenFramesBrushFillsAndNullPenDrawsOnePixelLess) {
    DibDc dib(8, 8);
    dib.Fill(RGB(255, 255, 255));
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    SelectObject(dib.Dc(), brush);
    ASSERT_TRUE(Rectangle(dib.Dc(), 1, 1, 5, 5));
    EXPECT_EQ(dib.Color(1, 1), RGB(0, 0, 0));
    EXPECT_EQ(dib.Color(4, 4), RGB(0, 0, 0));
    EXPECT_EQ(dib.Color(4, 2), RGB(0, 0, 0));
    EXPECT_EQ(dib.Color(2, 2), RGB(0, 0, 255));
    EXPECT_EQ(dib.Color(5, 5), RGB(255, 255, 255));

    dib.Fill(RGB(255, 255, 255));
    SelectObject(dib.Dc(), GetStockObject(NULL_PEN));
    ASSERT_TRUE(Rectangle(dib.Dc(), 1, 1, 5, 5));
    EXPECT_EQ(dib.Color(1, 1), RGB(0, 0, 255));
    EXPECT_EQ(dib.Color(3, 3), RGB(0, 0, 255));
    EXPECT_EQ(dib.Color(4, 4), RGB(255, 255, 255));
    SelectObject(dib.Dc(), GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}

TEST(DrawEdge, RaisedEdgeColoursAndAdjust) {
    DibDc dib(6, 6);
    dib.Fill(RGB(9, 9, 9));
    RECT r{0, 0, 6, 6};
    ASSERT_TRUE(DrawEdge(dib.Dc(), &r, EDGE_RAISED, BF_RECT | BF_ADJUST | BF_MIDDLE));
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 4);
    EXPECT_EQ(r.bottom, 4);
    EXPECT_EQ(dib.Color(0, 0), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(dib.Color(5, 5), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(dib.Color(5, 0), GetSysColor(COLOR_3DDKSHADOW));  // bottom-right owns the corners
    EXPECT_EQ(dib.Color(1, 1), GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(dib.Color(4, 4), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(dib.Color(2, 3), GetSysColor(COLOR_3DFACE));

    dib.Fill(RGB(9, 9, 9));
    RECT sunken{0, 0, 6, 6};
    ASSERT_TRUE(DrawEdge(dib.Dc(), &sunken, EDGE_SUNKEN, BF_TOP));
    EXPECT_EQ(sunken.top, 0);  // no BF_ADJUST
    EXPECT_EQ(dib.Color(3, 0), GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(dib.Color(3, 1), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(dib.Color(0, 3), RGB(9, 9, 9));
}

namespace {

// A private screen of 16x16 pixels standing in for the display.
struct FakeScreen {
    static std::mutex& Lock() {
        static std::mutex m;
        return m;
    }
    static uint32_t* Pixels() {
        static uint32_t pixels[16 * 16];
        return pixels;
    }
    static void Dirty(const RECT& r) { dirty = r; }
    static inline RECT dirty{};
};

const orvi::gdi::ScreenAccess kFakeScreen{&FakeScreen::Lock, &FakeScreen::Pixels,
                                          &FakeScreen::Dirty, 16, 16};

}  // namespace

TEST(CreateScreenDc, DrawsAtItsOriginInsideTheVisibleRectangles) {
    std::fill_n(FakeScreen::Pixels(), 256, 0u);
    // Window at (4, 4); only (4,4)-(8,8) and (10,4)-(12,6) of it are visible.
    HDC dc = orvi::gdi::CreateDcOnScreen(&kFakeScreen, {4, 4}, {{4, 4, 8, 8}, {10, 4, 12, 6}});
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
    RECT box{};
    EXPECT_EQ(GetClipBox(dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 8);
    RECT all{0, 0, 12, 12};
    ASSERT_TRUE(FillRect(dc, &all, (HBRUSH)(GetStockObject(BLACK_BRUSH))));
    ASSERT_TRUE(FillRect(dc, &all, (HBRUSH)(GetStockObject(GRAY_BRUSH))));
    const uint32_t* px = FakeScreen::Pixels();
    EXPECT_EQ(px[4 * 16 + 4], 0x808080u);
    EXPECT_EQ(px[7 * 16 + 7], 0x808080u);
    EXPECT_EQ(px[4 * 16 + 11], 0x808080u);
    EXPECT_EQ(px[8 * 16 + 8], 0u);
    EXPECT_EQ(px[4 * 16 + 9], 0u);
    EXPECT_EQ(px[6 * 16 + 10], 0u);
    EXPECT_EQ(FakeScreen::dirty.left, 4);
    EXPECT_EQ(FakeScreen::dirty.right, 12);
    EXPECT_EQ(FakeScreen::dirty.bottom, 8);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(128, 128, 128));
    EXPECT_EQ(GetPixel(dc, 5, 0), CLR_INVALID);

    // A bitmap cannot be selected into a screen DC; DeleteDC is for memory DCs.
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    DeleteObject(bitmap);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_TRUE(orvi::gdi::DeleteScreenDc(dc));
    EXPECT_FALSE(orvi::gdi::SetScreenDcVisible(dc, {}));
}

TEST(GetSystemMetrics, FollowTheScreenGeometryAndDpi) {
    HDC dc = CreateCompatibleDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ASSERT_GT(dpi, 0);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), dpi);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
    EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), GetDeviceCaps(dc, HORZRES));
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), GetDeviceCaps(dc, VERTRES));
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32 * dpi / 96);
    EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), 16 * dpi / 96);
    EXPECT_GE(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CXBORDER));
    DeleteDC(dc);
    SetLastError(0);
    EXPECT_EQ(GetSystemMetrics(12345), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSX), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
