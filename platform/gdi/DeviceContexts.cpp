// Device contexts: creation and state, clipping, and the drawing sessions
// through which every drawing call reaches a DC's pixels.
#include <utility>

#include "DrawSession.h"

namespace orvi::gdi {
namespace {

DcState DefaultState() {
    DcState s;
    s.brush = std::static_pointer_cast<Brush>(StockObject(WHITE_BRUSH));
    s.pen = std::static_pointer_cast<Pen>(StockObject(BLACK_PEN));
    s.font = std::static_pointer_cast<Font>(StockObject(SYSTEM_FONT));
    return s;
}

template <class T>
void Count(const std::shared_ptr<T>& object, int delta) {
    if (object)
        object->selections += delta;
}

void CountState(const DcState& s, int delta) {
    Count(s.bitmap, delta);
    Count(s.brush, delta);
    Count(s.pen, delta);
    Count(s.font, delta);
}

HDC PublishDc(std::shared_ptr<Dc> dc) {
    CountState(dc->state, +1);
    return reinterpret_cast<HDC>(InsertObject(std::move(dc)));
}

}  // namespace

HDC CreateDcOnScreen(const ScreenAccess* access, POINT origin, std::vector<RECT> visible) {
    auto dc = std::make_shared<Dc>();
    dc->screen = access;
    dc->origin = origin;
    dc->visible = std::move(visible);
    dc->state = DefaultState();
    return PublishDc(std::move(dc));
}

void ReplaceState(Dc& dc, DcState next) {
    CountState(next, +1);
    CountState(dc.state, -1);
    dc.state = std::move(next);
}

bool DeleteDcObject(HDC hdc, bool screen) {
    auto dc = ReferenceDc(hdc);
    if (!dc || (dc->screen != nullptr) != screen) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!RemoveObject(reinterpret_cast<HGDIOBJ>(hdc))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // A call that looked the DC up before it was removed may still be
    // drawing: the state stays intact, only its selections are released.
    std::lock_guard guard(dc->lock);
    CountState(dc->state, -1);
    dc->saved.clear();
    return true;
}

int SetUserClip(Dc& dc, const RECT* deviceRect, bool intersect) {
    if (!deviceRect)
        dc.state.userClip.reset();
    else if (intersect && dc.state.userClip)
        dc.state.userClip = Intersect(*dc.state.userClip, *deviceRect);
    else
        dc.state.userClip = *deviceRect;
    size_t pieces = MakeTarget(dc).clips.size();
    return pieces == 0 ? NULLREGION : pieces == 1 ? SIMPLEREGION : COMPLEXREGION;
}

}  // namespace orvi::gdi

using namespace orvi::gdi;

namespace {

// Runs f on the locked DC; answers `failed` for a handle that is not a DC.
template <class R, class F>
R WithDc(HDC hdc, R failed, F&& f) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return failed;
    std::lock_guard guard(dc->lock);
    return f(*dc);
}

}  // namespace

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc && !ReferenceDc(hdc))
        return nullptr;
    auto dc = std::make_shared<Dc>();
    dc->state = DefaultState();
    dc->state.bitmap = DefaultBitmap();
    return PublishDc(std::move(dc));
}

BOOL DeleteDC(HDC hdc) {
    return DeleteDcObject(hdc, false) ? TRUE : FALSE;
}

int SaveDC(HDC hdc) {
    return WithDc(hdc, 0, [](Dc& dc) {
        dc.saved.push_back(dc.state);
        return static_cast<int>(dc.saved.size());
    });
}

BOOL RestoreDC(HDC hdc, int nSavedDC) {
    return WithDc(hdc, FALSE, [&](Dc& dc) {
        int count = static_cast<int>(dc.saved.size());
        int level = nSavedDC < 0 ? count + 1 + nSavedDC : nSavedDC;
        if (nSavedDC == 0 || level < 1 || level > count) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ReplaceState(dc, std::move(dc.saved[level - 1]));
        dc.saved.resize(level - 1);
        return TRUE;
    });
}

COLORREF SetTextColor(HDC hdc, COLORREF crColor) {
    return WithDc(hdc, CLR_INVALID,
                  [&](Dc& dc) { return std::exchange(dc.state.textColor, crColor & kRgbMask); });
}

COLORREF GetTextColor(HDC hdc) {
    return WithDc(hdc, CLR_INVALID, [](Dc& dc) { return dc.state.textColor; });
}

COLORREF SetBkColor(HDC hdc, COLORREF crColor) {
    return WithDc(hdc, CLR_INVALID,
                  [&](Dc& dc) { return std::exchange(dc.state.bkColor, crColor & kRgbMask); });
}

COLORREF GetBkColor(HDC hdc) {
    return WithDc(hdc, CLR_INVALID, [](Dc& dc) { return dc.state.bkColor; });
}

int SetBkMode(HDC hdc, int iBkMode) {
    return WithDc(hdc, 0, [&](Dc& dc) {
        if (iBkMode != OPAQUE && iBkMode != TRANSPARENT) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return std::exchange(dc.state.bkMode, iBkMode);
    });
}

int GetBkMode(HDC hdc) {
    return WithDc(hdc, 0, [](Dc& dc) { return dc.state.bkMode; });
}

UINT SetTextAlign(HDC hdc, UINT fMode) {
    return WithDc(hdc, static_cast<UINT>(GDI_ERROR),
                  [&](Dc& dc) { return std::exchange(dc.state.textAlign, fMode); });
}

UINT GetTextAlign(HDC hdc) {
    return WithDc(hdc, static_cast<UINT>(GDI_ERROR), [](Dc& dc) { return dc.state.textAlign; });
}

BOOL SetBrushOrgEx(HDC hdc, int nXOrg, int nYOrg, LPPOINT lppt) {
    return WithDc(hdc, FALSE, [&](Dc& dc) {
        if (lppt)
            *lppt = dc.state.brushOrg;
        dc.state.brushOrg = {nXOrg, nYOrg};
        return TRUE;
    });
}

int SetStretchBltMode(HDC hdc, int iStretchMode) {
    return WithDc(hdc, 0, [&](Dc& dc) {
        if (iStretchMode < BLACKONWHITE || iStretchMode > HALFTONE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        return std::exchange(dc.state.stretchMode, iStretchMode);
    });
}

int IntersectClipRect(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    return WithDc(hdc, ERROR, [&](Dc& dc) {
        RECT r = Offset({nLeftRect, nTopRect, nRightRect, nBottomRect}, dc.origin);
        return SetUserClip(dc, &r, true);
    });
}

int SelectClipRgn(HDC hdc, HRGN hrgn) {
    if (!hrgn)
        return WithDc(hdc, ERROR, [](Dc& dc) { return SetUserClip(dc, nullptr, false); });
    auto region = ReferenceAs<Region>(hrgn, GdiType::Region);
    if (!region)
        return ERROR;
    return WithDc(hdc, ERROR, [&](Dc& dc) {
        RECT r = Offset(region->rect, dc.origin);
        return SetUserClip(dc, &r, false);
    });
}

int GetClipBox(HDC hdc, LPRECT lprc) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    return WithDc(hdc, ERROR, [&](Dc& dc) {
        Target t = MakeTarget(dc);
        RECT box = t.ClipBox();
        *lprc = IsEmpty(box) ? RECT{0, 0, 0, 0} : Offset(box, {-t.offset.x, -t.offset.y});
        return t.clips.empty() ? NULLREGION : t.clips.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
    });
}
