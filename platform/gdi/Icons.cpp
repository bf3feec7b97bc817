// Icons: a copied AND mask and colour image, drawn by the mask method.
#include <cstring>

#include "Raster.h"

using namespace orvi::gdi;

namespace {

std::vector<uint32_t> MonoCopy(Bitmap& bitmap) {
    std::vector<uint32_t> pixels = CopyPixels(bitmap);
    if (!bitmap.mono)
        for (uint32_t& p : pixels)
            p = MonoFromPixel(p);
    return pixels;
}

HBITMAP BitmapFrom(const uint32_t* pixels, int width, int height, bool mono) {
    auto bitmap = NewBitmap(width, height, mono);
    std::memcpy(bitmap->pixels.data(), pixels, bitmap->pixels.size() * 4);
    return reinterpret_cast<HBITMAP>(InsertObject(std::move(bitmap)));
}

Surface SurfaceOf(std::vector<uint32_t>& pixels, int width, int height, bool mono) {
    return Surface{pixels.data(), width, width, height, mono};
}

// Icons and cursors are one kind of object on the device, and a dead handle
// reports the cursor code (ERROR_INVALID_CURSOR_HANDLE) for either.
std::shared_ptr<Icon> ReferenceIcon(HICON hIcon) {
    auto object = ReferenceObject(reinterpret_cast<HGDIOBJ>(hIcon));
    if (!object || object->type != GdiType::Icon) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<Icon>(object);
}

}  // namespace

HICON CreateIconIndirect(PICONINFO piconinfo) {
    if (!piconinfo || !piconinfo->hbmMask) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto mask = ReferenceAs<Bitmap>(piconinfo->hbmMask, GdiType::Bitmap);
    auto color =
        piconinfo->hbmColor ? ReferenceAs<Bitmap>(piconinfo->hbmColor, GdiType::Bitmap) : nullptr;
    if (!mask || (piconinfo->hbmColor && !color))
        return nullptr;
    auto icon = std::make_shared<Icon>();
    icon->isIcon = piconinfo->fIcon;
    icon->width = mask->width;
    // Without a colour bitmap the mask holds the AND mask above the XOR image.
    icon->height = color ? color->height : mask->height / 2;
    if (color && (color->width != mask->width || color->height > mask->height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (icon->height == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t area = static_cast<size_t>(icon->width) * icon->height;
    std::vector<uint32_t> maskPixels = MonoCopy(*mask);
    icon->mask.assign(maskPixels.begin(), maskPixels.begin() + area);
    if (color) {
        icon->color = CopyPixels(*color);
    } else {
        icon->monochrome = true;
        icon->color.assign(maskPixels.begin() + area, maskPixels.begin() + 2 * area);
    }
    icon->xHotspot = piconinfo->fIcon ? icon->width / 2 : piconinfo->xHotspot;
    icon->yHotspot = piconinfo->fIcon ? icon->height / 2 : piconinfo->yHotspot;
    return reinterpret_cast<HICON>(InsertObject(std::move(icon)));
}

BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
    auto icon = ReferenceIcon(hIcon);
    if (!icon)
        return FALSE;
    if (!piconinfo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    piconinfo->fIcon = icon->isIcon;
    piconinfo->xHotspot = icon->xHotspot;
    piconinfo->yHotspot = icon->yHotspot;
    if (icon->monochrome) {
        std::vector<uint32_t> both = icon->mask;
        both.insert(both.end(), icon->color.begin(), icon->color.end());
        piconinfo->hbmMask = BitmapFrom(both.data(), icon->width, icon->height * 2, true);
        piconinfo->hbmColor = nullptr;
    } else {
        piconinfo->hbmMask = BitmapFrom(icon->mask.data(), icon->width, icon->height, true);
        piconinfo->hbmColor = BitmapFrom(icon->color.data(), icon->width, icon->height, false);
    }
    return TRUE;
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    (void)istepIfAniCur;
    auto dc = ReferenceDc(hdc);
    auto icon = dc ? ReferenceIcon(hIcon) : nullptr;
    if (!icon)
        return FALSE;
    if (!(diFlags & DI_NORMAL) || cxWidth < 0 || cyWidth < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (cxWidth == 0)
        cxWidth = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CXICON) : icon->width;
    if (cyWidth == 0)
        cyWidth = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(SM_CYICON) : icon->height;
    RECT area{xLeft, yTop, xLeft + cxWidth, yTop + cyWidth};
    if (hbrFlickerFreeDraw && !FillRect(hdc, &area, hbrFlickerFreeDraw))
        return FALSE;
    DrawSession session(*dc);
    StretchParams params{Offset(area, session.Dst().offset), {0, 0, icon->width, icon->height}};
    Conversion conv;
    if (session.Dst().surface.mono)
        conv.kind = Conversion::Nearest;
    // The device draws the mask with AND and then the image with XOR, so
    // mask bits of 1 keep the screen and image pixels invert it there.
    if (diFlags & DI_MASK) {
        Surface mask = SurfaceOf(icon->mask, icon->width, icon->height, true);
        MapRows(session, mask, params, Conversion{},
                [](uint32_t* d, const uint32_t* s, int n, int, int) {
                    RopRow(SRCAND, d, s, nullptr, n);
                });
    }
    if (diFlags & DI_IMAGE) {
        DWORD rop = (diFlags & DI_MASK) ? SRCINVERT : SRCCOPY;
        Surface image = SurfaceOf(icon->color, icon->width, icon->height, icon->monochrome);
        bool screen = session.Dst().screen;
        MapRows(session, image, params, conv, [&](uint32_t* d, const uint32_t* s, int n, int, int) {
            RopRow(rop, d, s, nullptr, n);
            if (screen)
                for (int i = 0; i < n; ++i)
                    d[i] &= kRgbMask;
        });
    }
    return TRUE;
}

BOOL DestroyIcon(HICON hIcon) {
    if (!ReferenceIcon(hIcon))
        return FALSE;
    return RemoveObject(reinterpret_cast<HGDIOBJ>(hIcon)) ? TRUE : FALSE;
}
