// Icons: creation from a mask and a colour bitmap, drawing by the mask
// method, copies handed out by GetIconInfo.
#include "GdiTestSupport.h"

using orvi::test::DibDc;

namespace {

// 2x2 icon: the top-left pixel is transparent (mask 1, colour black), the
// others opaque red, green and blue.
HICON MakeIcon() {
    const BYTE maskBits[] = {0x80, 0, 0x00, 0};
    HBITMAP mask = CreateBitmap(2, 2, 1, 1, maskBits);
    const uint32_t colors[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    HBITMAP color = CreateBitmap(2, 2, 1, 32, colors);
    ICONINFO info{TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);  // the icon keeps copies
    DeleteObject(color);
    return icon;
}

}  // namespace

TEST(DrawIconEx, MaskKeepsBackgroundAndImageCoversTheRest) {
    HICON icon = MakeIcon();
    ASSERT_NE(icon, nullptr);
    DibDc dib(4, 4);
    dib.Fill(RGB(50, 60, 70));
    ASSERT_TRUE(DrawIconEx(dib.Dc(), 1, 1, icon, 0, 0, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(dib.Color(1, 1), RGB(50, 60, 70));
    EXPECT_EQ(dib.Color(2, 1), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(1, 2), RGB(0, 255, 0));
    EXPECT_EQ(dib.Color(2, 2), RGB(0, 0, 255));
    EXPECT_EQ(dib.Color(3, 3), RGB(50, 60, 70));

    // Stretched to 4x4: each icon pixel covers 2x2.
    dib.Fill(RGB(50, 60, 70));
    ASSERT_TRUE(DrawIconEx(dib.Dc(), 0, 0, icon, 4, 4, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(dib.Color(1, 1), RGB(50, 60, 70));
    EXPECT_EQ(dib.Color(3, 0), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(3, 3), RGB(0, 0, 255));

    // The mask alone: transparent pixels keep the screen, the rest turn black.
    dib.Fill(RGB(50, 60, 70));
    ASSERT_TRUE(DrawIconEx(dib.Dc(), 0, 0, icon, 2, 2, 0, nullptr, DI_MASK));
    EXPECT_EQ(dib.Color(0, 0), RGB(50, 60, 70));
    EXPECT_EQ(dib.Color(1, 0), RGB(0, 0, 0));
    ASSERT_TRUE(DrawIconEx(dib.Dc(), 0, 0, icon, 2, 2, 0, nullptr, DI_IMAGE));
    EXPECT_EQ(dib.Color(0, 0), RGB(0, 0, 0));

    SetLastError(0);
    EXPECT_FALSE(DrawIconEx(dib.Dc(), 0, 0, icon, 2, 2, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(DestroyIcon(icon));
    SetLastError(0);
    EXPECT_FALSE(DrawIconEx(dib.Dc(), 0, 0, icon, 2, 2, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
}

TEST(GetIconInfo, ReturnsNewCopiesOfMaskAndColour) {
    HICON icon = MakeIcon();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 1u);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(info.hbmMask, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    ASSERT_EQ(GetObjectW(info.hbmColor, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 32);
    EXPECT_EQ(bm.bmWidth, 2);

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 0, 0));
    SelectObject(dc, info.hbmMask);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(info.hbmMask));
    EXPECT_TRUE(DeleteObject(info.hbmColor));
    EXPECT_TRUE(DestroyIcon(icon));

    SetLastError(0);
    ICONINFO none{TRUE, 0, 0, nullptr, nullptr};
    EXPECT_EQ(CreateIconIndirect(&none), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
