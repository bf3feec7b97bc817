// GDI objects: stock objects, selection, description and deletion.
#include "GdiTestSupport.h"

using orvi::test::DibDc;

TEST(GetStockObject, StockObjectsAreSharedAndSurviveDeleteObject) {
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white, GetStockObject(WHITE_BRUSH));
    EXPECT_NE(white, GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetStockObject(NULL_BRUSH), GetStockObject(HOLLOW_BRUSH));
    EXPECT_TRUE(DeleteObject(white));
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(white, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(255, 255, 255));
    LOGPEN lp{};
    ASSERT_EQ(GetObjectW(GetStockObject(NULL_PEN), sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_NULL));
    EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)), static_cast<DWORD>(OBJ_FONT));

    SetLastError(0);
    EXPECT_EQ(GetStockObject(9999), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SelectObject, NewMemoryDcHoldsOneByOneMonochromeBitmap) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm),
              static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));

    // Compatible bitmaps follow the selected bitmap's format.
    HBITMAP mono = CreateCompatibleBitmap(dc, 10, 3);
    ASSERT_EQ(GetObjectW(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidthBytes, 2);
    HBITMAP color = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, color);
    HBITMAP compatible = CreateCompatibleBitmap(dc, 5, 5);
    ASSERT_EQ(GetObjectW(compatible, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidthBytes, 20);
    EXPECT_EQ(bm.bmBits, nullptr);

    EXPECT_EQ(SelectObject(dc, old), (HGDIOBJ)color);
    EXPECT_TRUE(DeleteObject(mono));
    EXPECT_TRUE(DeleteObject(color));
    EXPECT_TRUE(DeleteObject(compatible));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(DeleteObject, ObjectSelectedIntoDcCannotBeDeleted) {
    HDC dc = CreateCompatibleDC(nullptr);
    HDC other = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    ASSERT_NE(oldBitmap, nullptr);
    EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));

    SetLastError(0);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(DeleteObject(brush));
    // A bitmap lives in one DC at a time.
    SetLastError(0);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(SelectObject(dc, oldBitmap), (HGDIOBJ)bitmap);
    EXPECT_EQ(SelectObject(dc, oldBrush), (HGDIOBJ)brush);
    EXPECT_NE(SelectObject(other, bitmap), nullptr);
    EXPECT_TRUE(DeleteDC(other));  // releases its selection
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteObject(brush));

    SetLastError(0);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetObjectW(brush, 0, nullptr), 0);
    EXPECT_TRUE(DeleteDC(dc));
    SetLastError(0);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GetObjectW, DescribesBitmapsDibSectionsPensAndFonts) {
    HBITMAP mono = CreateBitmap(17, 2, 1, 1, nullptr);
    EXPECT_EQ(GetObjectW(mono, 0, nullptr), static_cast<int>(sizeof(BITMAP)));
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidthBytes, 4);  // WORD-aligned rows of 17 bits
    EXPECT_TRUE(DeleteObject(mono));

    DibDc dib(3, 5, true);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(dib.Bitmap(), sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBits, static_cast<void*>(&dib.At(0, 4)));  // bottom row first
    EXPECT_EQ(ds.dsBmih.biHeight, 5);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);

    HPEN pen = CreatePen(PS_DASH, 3, RGB(9, 8, 7));
    LOGPEN lp{};
    ASSERT_EQ(GetObjectW(pen, sizeof lp, &lp), static_cast<int>(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, static_cast<UINT>(PS_DASH));
    EXPECT_EQ(lp.lopnWidth.x, 3);
    EXPECT_EQ(lp.lopnColor, RGB(9, 8, 7));
    EXPECT_TRUE(DeleteObject(pen));

    SetLastError(0);
    EXPECT_EQ(CreatePen(42, 1, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(0x1234), sizeof bm, &bm), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(CreateDIBSection, RejectsFormatsOtherThan32Bit) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = reinterpret_cast<void*>(1);
    SetLastError(0);
    EXPECT_EQ(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(bits, nullptr);
}

TEST(CreateBitmap, MonochromeBitsAreWordAlignedRows) {
    // 3x2: row 0 = 1 0 1, row 1 = 0 1 0; each row padded to 2 bytes.
    const BYTE bits[] = {0xA0, 0x00, 0x40, 0x00};
    HBITMAP mono = CreateBitmap(3, 2, 1, 1, bits);
    DibDc dst(3, 2);
    HDC src = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(src, mono);
    SetTextColor(dst.Dc(), RGB(0, 0, 0));
    SetBkColor(dst.Dc(), RGB(255, 255, 255));
    ASSERT_TRUE(BitBlt(dst.Dc(), 0, 0, 3, 2, src, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(dst.At(1, 0), 0u);
    EXPECT_EQ(dst.At(2, 0), 0xFFFFFFu);
    EXPECT_EQ(dst.At(0, 1), 0u);
    EXPECT_EQ(dst.At(1, 1), 0xFFFFFFu);
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(mono);

    SetLastError(0);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 24, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SaveDC, RestoreDCBringsBackColoursSelectionsAndClip) {
    DibDc dib(10, 10);
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    SetTextColor(dib.Dc(), RGB(1, 1, 1));
    int level = SaveDC(dib.Dc());
    EXPECT_EQ(level, 1);
    SelectObject(dib.Dc(), brush);
    SetTextColor(dib.Dc(), RGB(2, 2, 2));
    EXPECT_EQ(IntersectClipRect(dib.Dc(), 2, 2, 5, 5), SIMPLEREGION);
    RECT box{};
    EXPECT_EQ(GetClipBox(dib.Dc(), &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.right, 5);
    EXPECT_EQ(IntersectClipRect(dib.Dc(), 6, 6, 8, 8), NULLREGION);

    EXPECT_TRUE(RestoreDC(dib.Dc(), -1));
    EXPECT_EQ(GetTextColor(dib.Dc()), RGB(1, 1, 1));
    EXPECT_EQ(GetCurrentObject(dib.Dc(), OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetClipBox(dib.Dc(), &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 10);
    EXPECT_TRUE(DeleteObject(brush));  // no longer selected

    // A selected clip region limits drawing; NULL removes it.
    dib.Fill(RGB(255, 255, 255));
    HRGN region = CreateRectRgn(0, 0, 3, 3);
    EXPECT_EQ(SelectClipRgn(dib.Dc(), region), SIMPLEREGION);
    EXPECT_TRUE(DeleteObject(region));  // the DC keeps its own copy
    RECT all{0, 0, 10, 10};
    FillRect(dib.Dc(), &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(dib.Color(2, 2), RGB(0, 0, 0));
    EXPECT_EQ(dib.Color(3, 3), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dib.Dc(), 3, 3), CLR_INVALID);
    EXPECT_EQ(SelectClipRgn(dib.Dc(), nullptr), SIMPLEREGION);
    EXPECT_EQ(GetPixel(dib.Dc(), 3, 3), RGB(255, 255, 255));
    SetLastError(0);
    EXPECT_FALSE(RestoreDC(dib.Dc(), -1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(GetDIBits, RowsRoundTripInBottomUpOrder) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(2, 3, 1, 32, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_EQ(GetDIBits(dc, bitmap, 0, 0, nullptr, &info, DIB_RGB_COLORS), 3);
    EXPECT_EQ(info.bmiHeader.biWidth, 2);
    EXPECT_EQ(info.bmiHeader.biHeight, 3);
    EXPECT_EQ(info.bmiHeader.biBitCount, 32);

    const uint32_t rows[6] = {1, 2, 3, 4, 5, 6};  // bottom row first
    ASSERT_EQ(SetDIBits(dc, bitmap, 0, 3, rows, &info, DIB_RGB_COLORS), 3);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(GetPixel(dc, 1, 2), RGB(0, 0, 2));  // first row given is the bottom one
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 5));
    SelectObject(dc, old);
    uint32_t back[4] = {};
    info.bmiHeader.biHeight = -3;  // top-down, from row 1
    ASSERT_EQ(GetDIBits(dc, bitmap, 1, 5, back, &info, DIB_RGB_COLORS), 2);
    EXPECT_EQ(back[0], 3u);
    EXPECT_EQ(back[3], 2u);

    info.bmiHeader.biBitCount = 24;
    SetLastError(0);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, 3, back, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DeleteObject(bitmap);
    DeleteDC(dc);
}
