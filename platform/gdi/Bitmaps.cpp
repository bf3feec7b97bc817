// Bitmaps: device-dependent (32-bit or monochrome) and 32-bit DIB sections.
#include <cstring>

#include "internal.h"

namespace orvi::gdi {

Bitmap::Bitmap(int w, int h, bool isMono, bool isDib, bool isBottomUp)
    : GdiObject(GdiType::Bitmap),
      width(w),
      height(h),
      mono(isMono),
      dib(isDib),
      bottomUp(isBottomUp),
      pixels(static_cast<size_t>(w) * h, 0) {}

Surface Bitmap::View() {
    Surface s;
    s.width = width;
    s.height = height;
    s.mono = mono;
    s.stride = bottomUp ? -static_cast<ptrdiff_t>(width) : width;
    s.top = pixels.data() + (bottomUp ? static_cast<size_t>(height - 1) * width : 0);
    return s;
}

std::shared_ptr<Bitmap> NewBitmap(int width, int height, bool mono) {
    return std::make_shared<Bitmap>(width, height, mono, false, false);
}

std::vector<uint32_t> CopyPixels(Bitmap& bitmap) {
    std::vector<uint32_t> out(bitmap.pixels.size());
    Surface s = bitmap.View();
    for (int y = 0; y < s.height; ++y)
        std::memcpy(&out[static_cast<size_t>(y) * s.width], s.Row(y), s.width * 4u);
    return out;
}

namespace {

constexpr int kMaxDimension = 16384;

bool ValidSize(int w, int h) {
    return w >= 0 && h >= 0 && w <= kMaxDimension && h <= kMaxDimension;
}

HBITMAP Publish(std::shared_ptr<Bitmap> bitmap) {
    return reinterpret_cast<HBITMAP>(InsertObject(std::move(bitmap)));
}

// Rows of monochrome initial bits are WORD-aligned, most significant bit first.
void LoadMonoBits(Bitmap& bitmap, const BYTE* bits) {
    size_t rowBytes = ((bitmap.width + 15) / 16) * 2;
    for (int y = 0; y < bitmap.height; ++y) {
        const BYTE* row = bits + y * rowBytes;
        uint32_t* out = &bitmap.pixels[static_cast<size_t>(y) * bitmap.width];
        for (int x = 0; x < bitmap.width; ++x)
            out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? kWhite : 0;
    }
}

}  // namespace
}  // namespace orvi::gdi

using namespace orvi::gdi;

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT cPlanes, UINT cBitsPerPel, LPCVOID lpvBits) {
    if (!ValidSize(nWidth, nHeight) || cPlanes != 1 || (cBitsPerPel != 1 && cBitsPerPel != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth == 0 || nHeight == 0)  // the device answers an empty size with its 1x1 bitmap
        return reinterpret_cast<HBITMAP>(DefaultBitmap()->handle);
    auto bitmap = NewBitmap(nWidth, nHeight, cBitsPerPel == 1);
    if (lpvBits && bitmap->mono)
        LoadMonoBits(*bitmap, static_cast<const BYTE*>(lpvBits));
    else if (lpvBits)
        std::memcpy(bitmap->pixels.data(), lpvBits, bitmap->pixels.size() * 4);
    return Publish(std::move(bitmap));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int nWidth, int nHeight) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return nullptr;
    if (!ValidSize(nWidth, nHeight)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth == 0 || nHeight == 0)
        return reinterpret_cast<HBITMAP>(DefaultBitmap()->handle);
    bool mono;
    {
        std::lock_guard guard(dc->lock);
        mono = !dc->screen && dc->state.bitmap && dc->state.bitmap->mono;
    }
    return Publish(NewBitmap(nWidth, nHeight, mono));
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits,
                         HANDLE hSection, DWORD dwOffset) {
    (void)dwOffset;
    if (ppvBits)
        *ppvBits = nullptr;
    if (hdc && !ReferenceDc(hdc))
        return nullptr;
    if (!pbmi || iUsage != DIB_RGB_COLORS || hSection) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    bool supported = h.biSize >= sizeof(BITMAPINFOHEADER) && h.biPlanes == 1 &&
                     h.biBitCount == 32 &&
                     (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
    if (!supported || h.biWidth <= 0 || height == 0 || !ValidSize(h.biWidth, height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = std::make_shared<Bitmap>(h.biWidth, height, false, true, h.biHeight > 0);
    if (ppvBits)
        *ppvBits = bitmap->pixels.data();
    return Publish(std::move(bitmap));
}

namespace orvi::gdi {

int GetBitmapObject(Bitmap& bitmap, int cb, void* out) {
    BITMAP bm{};
    bm.bmWidth = bitmap.width;
    bm.bmHeight = bitmap.height;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = bitmap.mono ? 1 : 32;
    bm.bmWidthBytes = bitmap.mono ? ((bitmap.width + 15) / 16) * 2 : bitmap.width * 4;
    bm.bmBits = bitmap.dib ? bitmap.pixels.data() : nullptr;
    if (bitmap.dib && cb >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION ds{};
        ds.dsBm = bm;
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = bitmap.width;
        ds.dsBmih.biHeight = bitmap.bottomUp ? bitmap.height : -bitmap.height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = 32;
        ds.dsBmih.biCompression = BI_RGB;
        ds.dsBmih.biSizeImage = bitmap.width * bitmap.height * 4;
        std::memcpy(out, &ds, sizeof ds);
        return sizeof ds;
    }
    if (cb < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memcpy(out, &bm, sizeof bm);
    return sizeof bm;
}

}  // namespace orvi::gdi

namespace {

// The bitmap and header a GetDIBits/SetDIBits call works on; sets the last
// error and answers null for anything but 32-bit BI_RGB rows of the bitmap's width.
std::shared_ptr<Bitmap> DibTransferTarget(HDC hdc, HBITMAP hbm, const BITMAPINFO* bmi, UINT usage,
                                          bool needsFormat) {
    if (!ReferenceDc(hdc))
        return nullptr;
    auto bitmap = ReferenceAs<Bitmap>(hbm, GdiType::Bitmap);
    if (!bitmap)
        return nullptr;
    bool valid =
        bmi && usage == DIB_RGB_COLORS && bmi->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER);
    if (valid && needsFormat) {
        const BITMAPINFOHEADER& h = bmi->bmiHeader;
        valid = h.biBitCount == 32 && h.biCompression == BI_RGB && h.biWidth == bitmap->width &&
                h.biPlanes == 1;
    }
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return bitmap;
}

// Row `line` of a DIB with `height` rows (bottom-up when height > 0) as a
// top-down row index of the bitmap.
int BitmapRow(const Bitmap& bitmap, LONG height, UINT line) {
    return height > 0 ? bitmap.height - 1 - static_cast<int>(line) : static_cast<int>(line);
}

}  // namespace

int GetDIBits(HDC hdc, HBITMAP hbm, UINT uStartScan, UINT cScanLines, LPVOID lpvBits,
              LPBITMAPINFO lpbi, UINT uUsage) {
    auto bitmap = DibTransferTarget(hdc, hbm, lpbi, uUsage, lpvBits != nullptr);
    if (!bitmap)
        return 0;
    BITMAPINFOHEADER& h = lpbi->bmiHeader;
    if (!lpvBits) {
        h.biWidth = bitmap->width;
        h.biHeight = bitmap->height;
        h.biPlanes = 1;
        h.biBitCount = bitmap->mono ? 1 : 32;
        h.biCompression = BI_RGB;
        h.biSizeImage = bitmap->mono ? ((bitmap->width + 31) / 32) * 4 * bitmap->height
                                     : bitmap->width * bitmap->height * 4;
        return bitmap->height;
    }
    Surface s = bitmap->View();
    auto* out = static_cast<uint32_t*>(lpvBits);
    UINT total = static_cast<UINT>(bitmap->height);
    UINT lines = uStartScan >= total ? 0 : std::min(cScanLines, total - uStartScan);
    for (UINT i = 0; i < lines; ++i)
        std::memcpy(out + static_cast<size_t>(i) * s.width,
                    s.Row(BitmapRow(*bitmap, h.biHeight, uStartScan + i)), s.width * 4u);
    return static_cast<int>(lines);
}

int SetDIBits(HDC hdc, HBITMAP hbm, UINT uStartScan, UINT cScanLines, LPCVOID lpvBits,
              const BITMAPINFO* lpbmi, UINT fuColorUse) {
    auto bitmap = DibTransferTarget(hdc, hbm, lpbmi, fuColorUse, true);
    if (!bitmap)
        return 0;
    if (!lpvBits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Surface s = bitmap->View();
    auto* in = static_cast<const uint32_t*>(lpvBits);
    UINT total = static_cast<UINT>(bitmap->height);
    UINT lines = uStartScan >= total ? 0 : std::min(cScanLines, total - uStartScan);
    for (UINT i = 0; i < lines; ++i) {
        uint32_t* row = s.Row(BitmapRow(*bitmap, lpbmi->bmiHeader.biHeight, uStartScan + i));
        const uint32_t* src = in + static_cast<size_t>(i) * s.width;
        for (int x = 0; x < s.width; ++x)
            row[x] = bitmap->mono ? MonoFromPixel(src[x]) : src[x];
    }
    return static_cast<int>(lines);
}
