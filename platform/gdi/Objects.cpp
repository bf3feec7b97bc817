// Object entry points: creating brushes, pens and regions, selecting,
// describing and deleting objects.
#include <cstring>

#include "internal.h"

using namespace orvi::gdi;

namespace {

template <class T>
void Swap(std::shared_ptr<T>& slot, std::shared_ptr<T> next) {
    if (slot == next)
        return;
    ++next->selections;
    if (slot)
        --slot->selections;
    slot = std::move(next);
}

HGDIOBJ SelectBitmap(Dc& dc, std::shared_ptr<Bitmap> bitmap) {
    if (dc.screen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Bitmap>& slot = dc.state.bitmap;
    HGDIOBJ previous = slot->handle;
    if (slot == bitmap)
        return previous;
    if (!bitmap->stock) {
        // A bitmap lives in one DC at a time, as on the device.
        int expected = 0;
        if (!bitmap->selections.compare_exchange_strong(expected, 1)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    } else {
        ++bitmap->selections;
    }
    --slot->selections;
    slot = std::move(bitmap);
    return previous;
}

template <class T>
HGDIOBJ SelectInto(std::shared_ptr<T>& slot, std::shared_ptr<GdiObject> object) {
    HGDIOBJ previous = slot ? slot->handle : nullptr;
    Swap(slot, std::static_pointer_cast<T>(std::move(object)));
    return previous;
}

template <class T>
int CopyOut(const T& value, int cb, void* out) {
    if (!out)
        return sizeof(T);
    int n = std::min<int>(cb, sizeof(T));
    if (n <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::memcpy(out, &value, n);
    return n;
}

}  // namespace

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ hObject) {
    auto dc = ReferenceDc(hdc);
    auto object = dc ? ReferenceObject(hObject) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::lock_guard guard(dc->lock);
    switch (object->type) {
    case GdiType::Bitmap: return SelectBitmap(*dc, std::static_pointer_cast<Bitmap>(object));
    case GdiType::Brush: return SelectInto(dc->state.brush, std::move(object));
    case GdiType::Pen: return SelectInto(dc->state.pen, std::move(object));
    case GdiType::Font: return SelectInto(dc->state.font, std::move(object));
    case GdiType::Region: {
        RECT r = Offset(std::static_pointer_cast<Region>(object)->rect, dc->origin);
        return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(SetUserClip(*dc, &r, false)));
    }
    default: SetLastError(ERROR_INVALID_HANDLE); return nullptr;
    }
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT uObjectType) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return nullptr;
    std::lock_guard guard(dc->lock);
    const DcState& s = dc->state;
    switch (uObjectType) {
    case OBJ_BITMAP: return s.bitmap ? s.bitmap->handle : nullptr;
    case OBJ_BRUSH: return s.brush->handle;
    case OBJ_PEN: return s.pen->handle;
    case OBJ_FONT: return s.font->handle;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ hObject) {
    auto object = ReferenceObject(hObject);
    if (!object || object->type == GdiType::Dc || object->type == GdiType::Icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock)
        return TRUE;
    if (object->selections.load() > 0) {
        // The device refuses to delete an object still selected into a DC.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!RemoveObject(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ h) {
    auto object = ReferenceObject(h);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->type) {
    case GdiType::Dc: return std::static_pointer_cast<Dc>(object)->screen ? OBJ_DC : OBJ_MEMDC;
    case GdiType::Bitmap: return OBJ_BITMAP;
    case GdiType::Brush: return OBJ_BRUSH;
    case GdiType::Pen: return OBJ_PEN;
    case GdiType::Font: return OBJ_FONT;
    case GdiType::Region: return OBJ_REGION;
    default: SetLastError(ERROR_INVALID_HANDLE); return 0;
    }
}

int GetObjectW(HGDIOBJ hObject, int cbBuffer, LPVOID lpvObject) {
    auto object = ReferenceObject(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->type) {
    case GdiType::Bitmap: {
        auto& bitmap = static_cast<Bitmap&>(*object);
        if (!lpvObject)
            return bitmap.dib ? sizeof(DIBSECTION) : sizeof(BITMAP);
        return GetBitmapObject(bitmap, cbBuffer, lpvObject);
    }
    case GdiType::Brush: {
        auto& brush = static_cast<Brush&>(*object);
        return CopyOut(LOGBRUSH{brush.style, brush.color, 0}, cbBuffer, lpvObject);
    }
    case GdiType::Pen: {
        auto& pen = static_cast<Pen&>(*object);
        return CopyOut(LOGPEN{pen.style, POINT{pen.width, 0}, pen.color}, cbBuffer, lpvObject);
    }
    case GdiType::Font: return CopyOut(LogFontOf(static_cast<Font&>(*object)), cbBuffer, lpvObject);
    default: SetLastError(ERROR_INVALID_HANDLE); return 0;
    }
}

HBRUSH CreateSolidBrush(COLORREF crColor) {
    auto brush = std::make_shared<Brush>();
    brush->color = crColor & kRgbMask;
    return reinterpret_cast<HBRUSH>(InsertObject(std::move(brush)));
}

HBRUSH CreatePatternBrush(HBITMAP hbmp) {
    auto bitmap = ReferenceAs<Bitmap>(hbmp, GdiType::Bitmap);
    if (!bitmap)
        return nullptr;
    auto brush = std::make_shared<Brush>();
    brush->style = BS_PATTERN;
    brush->pattern = CopyPixels(*bitmap);
    brush->patternWidth = bitmap->width;
    brush->patternHeight = bitmap->height;
    brush->patternMono = bitmap->mono;
    return reinterpret_cast<HBRUSH>(InsertObject(std::move(brush)));
}

HPEN CreatePen(int fnPenStyle, int nWidth, COLORREF crColor) {
    if (fnPenStyle != PS_SOLID && fnPenStyle != PS_DASH && fnPenStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_shared<Pen>();
    pen->style = fnPenStyle;
    pen->width = std::max(nWidth, 1);
    pen->color = crColor & kRgbMask;
    return reinterpret_cast<HPEN>(InsertObject(std::move(pen)));
}

HRGN CreateRectRgn(int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    auto region = std::make_shared<Region>();
    region->rect = {std::min(nLeftRect, nRightRect), std::min(nTopRect, nBottomRect),
                    std::max(nLeftRect, nRightRect), std::max(nTopRect, nBottomRect)};
    return reinterpret_cast<HRGN>(InsertObject(std::move(region)));
}

HRGN CreateRectRgnIndirect(const RECT* lprc) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(lprc->left, lprc->top, lprc->right, lprc->bottom);
}
