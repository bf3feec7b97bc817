// Block transfers: raster operations, colour/mono conversion, stretching,
// alpha blending, gradients and pattern brushes.
#include <cstdlib>

#include "GdiTestSupport.h"

using orvi::test::DibDc;

namespace {

constexpr COLORREF kKey = RGB(255, 0, 255);

// A mono bitmap in its own memory DC.
struct MonoDc {
    MonoDc(int w, int h)
        : dc(CreateCompatibleDC(nullptr)), bitmap(CreateBitmap(w, h, 1, 1, nullptr)) {
        old = SelectObject(dc, bitmap);
    }
    ~MonoDc() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

// A 6x6 picture whose diagonal and last column are the key colour.
void PaintPicture(DibDc& picture) {
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            SetPixel(picture.Dc(), x, y,
                     (x == y || x == 5) ? kKey : RGB(10 * x, 20 * y, 100 + x + y));
}

void PaintBackground(DibDc& dst) {
    for (int y = 0; y < dst.Height(); ++y)
        for (int x = 0; x < dst.Width(); ++x)
            dst.At(x, y) = 0x00300000u + x * 0x101u + y * 0x10u;
}

void ExpectTransparentCopy(DibDc& dst, DibDc& background, DibDc& picture) {
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            uint32_t expected =
                picture.Color(x, y) == kKey ? background.At(x + 1, y + 1) : picture.At(x, y);
            EXPECT_EQ(dst.At(x + 1, y + 1), expected) << x << "," << y;
        }
    EXPECT_EQ(dst.At(0, 0), background.At(0, 0));
    EXPECT_EQ(dst.At(7, 7), background.At(7, 7));
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

}  // namespace

TEST(BitBlt, ColourKeyedPictureDrawnThroughMonoMaskKeepsKeyPixelsOfDestination) {
    DibDc picture(6, 6), dst(8, 8), background(8, 8);
    PaintPicture(picture);
    PaintBackground(background);
    MonoDc mask(6, 6);
    SetBkColor(picture.Dc(), kKey);  // key pixels become 1 (white) in the mask
    ASSERT_TRUE(BitBlt(mask.dc, 0, 0, 6, 6, picture.Dc(), 0, 0, SRCCOPY));

    // XOR / AND / XOR.
    PaintBackground(dst);
    SetTextColor(dst.Dc(), RGB(0, 0, 0));
    SetBkColor(dst.Dc(), RGB(255, 255, 255));
    ASSERT_TRUE(BitBlt(dst.Dc(), 1, 1, 6, 6, picture.Dc(), 0, 0, SRCINVERT));
    ASSERT_TRUE(BitBlt(dst.Dc(), 1, 1, 6, 6, mask.dc, 0, 0, SRCAND));
    ASSERT_TRUE(BitBlt(dst.Dc(), 1, 1, 6, 6, picture.Dc(), 0, 0, SRCINVERT));
    ExpectTransparentCopy(dst, background, picture);

    // AND / OR: the picture's key pixels are blackened first.
    PaintBackground(dst);
    SetTextColor(picture.Dc(), RGB(255, 255, 255));
    SetBkColor(picture.Dc(), RGB(0, 0, 0));
    DibDc original(6, 6);
    PaintPicture(original);
    ASSERT_TRUE(BitBlt(picture.Dc(), 0, 0, 6, 6, mask.dc, 0, 0, SRCAND));
    ASSERT_TRUE(BitBlt(dst.Dc(), 1, 1, 6, 6, mask.dc, 0, 0, SRCAND));
    ASSERT_TRUE(BitBlt(dst.Dc(), 1, 1, 6, 6, picture.Dc(), 0, 0, SRCPAINT));
    ExpectTransparentCopy(dst, background, original);
}

TEST(BitBlt, MonoConversionUsesSourceBackgroundAndDestinationColours) {
    DibDc color(3, 1);
    SetPixel(color.Dc(), 0, 0, RGB(1, 2, 3));
    SetPixel(color.Dc(), 1, 0, RGB(200, 100, 50));
    SetPixel(color.Dc(), 2, 0, RGB(1, 2, 3));
    MonoDc mono(3, 1);
    SetBkColor(color.Dc(), RGB(1, 2, 3));
    SetBkColor(mono.dc, RGB(200, 100, 50));  // the destination's colours play no part
    ASSERT_TRUE(BitBlt(mono.dc, 0, 0, 3, 1, color.Dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(mono.dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(mono.dc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(mono.dc, 2, 0), RGB(255, 255, 255));

    // Mono to colour: 0 bits take the destination's text colour, 1 bits its
    // background colour; the source DC's colours play no part.
    DibDc back(3, 1);
    SetTextColor(back.Dc(), RGB(255, 0, 0));
    SetBkColor(back.Dc(), RGB(0, 255, 0));
    SetTextColor(mono.dc, RGB(0, 0, 255));
    ASSERT_TRUE(BitBlt(back.Dc(), 0, 0, 3, 1, mono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(back.Color(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(back.Color(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(back.Color(2, 0), RGB(0, 255, 0));
}

TEST(BitBlt, RasterOperationsCombineSourcePatternAndDestination) {
    DibDc src(1, 1), dst(8, 1);
    src.At(0, 0) = 0x00F0F00Fu;
    HBRUSH brush = CreateSolidBrush(RGB(0x0F, 0x33, 0xAA));  // pixel 0x0F33AA
    SelectObject(dst.Dc(), brush);
    const DWORD rops[] = {SRCPAINT,  SRCAND,  NOTSRCCOPY, MERGECOPY,
                          DSTINVERT, PATCOPY, BLACKNESS,  WHITENESS};
    const uint32_t d = 0x00123456u, s = 0x00F0F00Fu, p = 0x000F33AAu;
    const uint32_t expected[] = {s | d, s & d, ~s & 0xFFFFFFu, p & s, ~d & 0xFFFFFFu,
                                 p,     0,     0xFFFFFFu};
    for (int i = 0; i < 8; ++i) {
        dst.At(i, 0) = d;
        ASSERT_TRUE(BitBlt(dst.Dc(), i, 0, 1, 1, src.Dc(), 0, 0, rops[i]));
        EXPECT_EQ(dst.At(i, 0), expected[i]) << std::hex << rops[i];
    }
    SelectObject(dst.Dc(), GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);

    SetLastError(0);
    EXPECT_FALSE(BitBlt(dst.Dc(), 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(BitBlt, OverlappingCopyWithinOneBitmapReadsSourceFirst) {
    DibDc dib(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            dib.At(x, y) = y * 8 + x;
    ASSERT_TRUE(BitBlt(dib.Dc(), 2, 2, 6, 6, dib.Dc(), 0, 0, SRCCOPY));
    for (int y = 2; y < 8; ++y)
        for (int x = 2; x < 8; ++x)
            EXPECT_EQ(dib.At(x, y), static_cast<uint32_t>((y - 2) * 8 + (x - 2)));
    ASSERT_TRUE(BitBlt(dib.Dc(), 0, 0, 6, 6, dib.Dc(), 2, 2, SRCCOPY));
    EXPECT_EQ(dib.At(0, 0), 0u);
    EXPECT_EQ(dib.At(5, 5), 45u);
}

TEST(StretchBlt, TwoByTwoScalesToFourByFourAndMirrors) {
    DibDc src(2, 2, true), dst(4, 4);  // a bottom-up source keeps its top row on top
    src.At(0, 0) = 0x111111;
    src.At(1, 0) = 0x222222;
    src.At(0, 1) = 0x333333;
    src.At(1, 1) = 0x444444;
    EXPECT_EQ(SetStretchBltMode(dst.Dc(), COLORONCOLOR), BLACKONWHITE);
    ASSERT_TRUE(StretchBlt(dst.Dc(), 0, 0, 4, 4, src.Dc(), 0, 0, 2, 2, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.At(x, y), src.At(x / 2, y / 2)) << x << "," << y;

    ASSERT_TRUE(StretchBlt(dst.Dc(), 4, 0, -4, 4, src.Dc(), 0, 0, 2, 2, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.At(x, y), src.At(1 - x / 2, y / 2)) << x << "," << y;
}

TEST(AlphaBlend, ConstantAndPerPixelAlpha) {
    DibDc src(3, 1), dst(3, 1);
    src.Fill(RGB(255, 0, 0));
    dst.Fill(RGB(0, 0, 255));
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    ASSERT_TRUE(AlphaBlend(dst.Dc(), 0, 0, 3, 1, src.Dc(), 0, 0, 3, 1, half));
    EXPECT_TRUE(Near(dst.Color(0, 0), RGB(128, 0, 127), 1)) << std::hex << dst.Color(0, 0);

    // Premultiplied source: opaque, half and fully transparent pixels.
    dst.Fill(RGB(0, 0, 255));
    src.At(0, 0) = 0xFF00FF00u;
    src.At(1, 0) = 0x80800000u;
    src.At(2, 0) = 0x00000000u;
    BLENDFUNCTION perPixel{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(dst.Dc(), 0, 0, 3, 1, src.Dc(), 0, 0, 3, 1, perPixel));
    EXPECT_EQ(dst.Color(0, 0), RGB(0, 255, 0));
    EXPECT_TRUE(Near(dst.Color(1, 0), RGB(128, 0, 127), 1)) << std::hex << dst.Color(1, 0);
    EXPECT_EQ(dst.Color(2, 0), RGB(0, 0, 255));

    const struct {
        int wDst, xSrc, wSrc;
        BLENDFUNCTION f;
    } invalid[] = {{-3, 0, 3, half},
                   {3, 1, 3, half},
                   {3, 0, -1, half},
                   {3, 0, 3, {1, 0, 128, 0}},
                   {3, 0, 3, {AC_SRC_OVER, 0, 128, 7}}};
    for (const auto& c : invalid) {
        SetLastError(0);
        EXPECT_FALSE(AlphaBlend(dst.Dc(), 0, 0, c.wDst, 1, src.Dc(), c.xSrc, 0, c.wSrc, 1, c.f));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(GradientFill, CornersTakeTheVertexColoursAcrossAndDown) {
    DibDc dib(16, 16);
    TRIVERTEX v[2] = {{0, 0, 0xFF00, 0, 0, 0}, {16, 16, 0, 0, 0xFF00, 0}};
    GRADIENT_RECT r{0, 1};
    ASSERT_TRUE(GradientFill(dib.Dc(), v, 2, &r, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(dib.Color(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(dib.Color(0, 15), RGB(255, 0, 0));
    EXPECT_TRUE(Near(dib.Color(15, 0), RGB(0, 0, 255), 16));
    EXPECT_GT(GetBValue(dib.Color(8, 0)), GetBValue(dib.Color(7, 0)));

    ASSERT_TRUE(GradientFill(dib.Dc(), v, 2, &r, 1, GRADIENT_FILL_RECT_V));
    EXPECT_EQ(dib.Color(15, 0), RGB(255, 0, 0));
    EXPECT_TRUE(Near(dib.Color(0, 15), RGB(0, 0, 255), 16));
    EXPECT_EQ(dib.Color(3, 9), dib.Color(12, 9));

    GRADIENT_RECT bad{0, 2};
    SetLastError(0);
    EXPECT_FALSE(GradientFill(dib.Dc(), v, 2, &bad, 1, GRADIENT_FILL_RECT_H));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CreatePatternBrush, PatternFollowsBrushOriginAndMonoTakesDcColours) {
    DibDc tile(2, 2);
    tile.At(0, 0) = 0x0000AA;
    tile.At(1, 0) = 0x0000BB;
    tile.At(0, 1) = 0x0000CC;
    tile.At(1, 1) = 0x0000DD;
    HBRUSH brush = CreatePatternBrush(tile.Bitmap());
    ASSERT_NE(brush, nullptr);
    DibDc dst(4, 4);
    RECT all{0, 0, 4, 4};
    EXPECT_TRUE(SetBrushOrgEx(dst.Dc(), 1, 0, nullptr));
    ASSERT_TRUE(FillRect(dst.Dc(), &all, brush));
    EXPECT_EQ(dst.At(1, 0), 0x0000AAu);
    EXPECT_EQ(dst.At(0, 0), 0x0000BBu);
    EXPECT_EQ(dst.At(3, 1), 0x0000CCu);
    DeleteObject(brush);

    const BYTE bits[] = {0x80, 0, 0x40, 0};  // 2x2: 1 0 / 0 1
    HBITMAP monoTile = CreateBitmap(2, 2, 1, 1, bits);
    HBRUSH mono = CreatePatternBrush(monoTile);
    DeleteObject(monoTile);  // the brush keeps its own copy
    SetBrushOrgEx(dst.Dc(), 0, 0, nullptr);
    SetTextColor(dst.Dc(), RGB(255, 0, 0));
    SetBkColor(dst.Dc(), RGB(0, 0, 255));
    ASSERT_TRUE(FillRect(dst.Dc(), &all, mono));
    EXPECT_EQ(dst.Color(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(dst.Color(1, 0), RGB(255, 0, 0));
    EXPECT_EQ(dst.Color(3, 3), RGB(0, 0, 255));
    DeleteObject(mono);
}
