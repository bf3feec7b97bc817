// Pixels, lines, rectangles, FillRect and DrawEdge.
#include <cstdlib>

#include "Raster.h"

using namespace orvi::gdi;

namespace {

void FillDevice(DrawSession& session, const RECT& area, uint32_t pixel) {
    ForEachClipped(session.Dst(), area, [&](const RECT& piece) {
        session.Touch(piece);
        FillArea(session.Dst().surface, piece, pixel);
    });
}

// A pen line from a to b (device coordinates), end point excluded. Wide pens
// plot a square of the pen's width per point; dashes are 18 on, 6 off.
void StrokeLine(DrawSession& session, const Pen& pen, POINT a, POINT b) {
    uint32_t pixel = TargetPixel(pen.color, session.Dst());
    int w = pen.width, half = w / 2;
    bool dashed = pen.style == PS_DASH && w <= 1;
    if (!dashed && (a.x == b.x || a.y == b.y)) {
        RECT r = a.y == b.y ? RECT{std::min(a.x, b.x + 1), a.y, std::max(a.x + 1, b.x), a.y + 1}
                            : RECT{a.x, std::min(a.y, b.y + 1), a.x + 1, std::max(a.y + 1, b.y)};
        if (a.x == b.x && a.y == b.y)
            return;
        FillDevice(session,
                   {r.left - half, r.top - half, r.right - half + w - 1, r.bottom - half + w - 1},
                   pixel);
        return;
    }
    int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1, err = dx + dy;
    for (int step = 0; a.x != b.x || a.y != b.y; ++step) {
        if (!dashed || step % 24 < 18)
            FillDevice(session, {a.x - half, a.y - half, a.x - half + w, a.y - half + w}, pixel);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            a.x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            a.y += sy;
        }
    }
}

}  // namespace

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    auto dc = ReferenceDc(hDC);
    auto brush = dc ? ResolveBrush(hbr) : nullptr;
    if (!brush)
        return FALSE;
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (brush->style == BS_NULL)
        return TRUE;
    DrawSession session(*dc);
    const Target& t = session.Dst();
    Paint paint = MakePaint(*brush, *dc, t);
    ForEachClipped(t, Offset(*lprc, t.offset), [&](const RECT& piece) {
        session.Touch(piece);
        PaintArea(t.surface, piece, paint, PATCOPY);
    });
    return TRUE;
}

COLORREF SetPixel(HDC hdc, int X, int Y, COLORREF crColor) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return CLR_INVALID;
    DrawSession session(*dc);
    const Target& t = session.Dst();
    uint32_t pixel = TargetPixel(crColor, t);
    COLORREF result = CLR_INVALID;
    ForEachClipped(t, Offset({X, Y, X + 1, Y + 1}, t.offset), [&](const RECT& piece) {
        session.Touch(piece);
        t.surface.Row(piece.top)[piece.left] = pixel;
        result = ColorFromPixel(pixel);
    });
    return result;
}

COLORREF GetPixel(HDC hdc, int nXPos, int nYPos) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return CLR_INVALID;
    DrawSession session(*dc);
    const Target& t = session.Dst();
    COLORREF result = CLR_INVALID;
    ForEachClipped(t, Offset({nXPos, nYPos, nXPos + 1, nYPos + 1}, t.offset),
                   [&](const RECT& piece) {
                       result = ColorFromPixel(t.surface.Row(piece.top)[piece.left] & kRgbMask);
                   });
    return result;
}

BOOL MoveToEx(HDC hdc, int X, int Y, LPPOINT lpPoint) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    std::lock_guard guard(dc->lock);
    if (lpPoint)
        *lpPoint = dc->state.penPos;
    dc->state.penPos = {X, Y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int nXEnd, int nYEnd) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    DrawSession session(*dc);
    POINT from = dc->state.penPos;
    dc->state.penPos = {nXEnd, nYEnd};
    const Pen& pen = *dc->state.pen;
    if (pen.style != PS_NULL) {
        POINT o = session.Dst().offset;
        StrokeLine(session, pen, {from.x + o.x, from.y + o.y}, {nXEnd + o.x, nYEnd + o.y});
    }
    return TRUE;
}

BOOL Rectangle(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    DrawSession session(*dc);
    const Target& t = session.Dst();
    RECT r = Offset({std::min(nLeftRect, nRightRect), std::min(nTopRect, nBottomRect),
                     std::max(nLeftRect, nRightRect), std::max(nTopRect, nBottomRect)},
                    t.offset);
    const Pen& pen = *dc->state.pen;
    bool framed = pen.style != PS_NULL;
    // Without a pen the device fills one pixel less to the right and bottom.
    RECT inside = framed ? r : RECT{r.left, r.top, r.right - 1, r.bottom - 1};
    if (dc->state.brush->style != BS_NULL) {
        Paint paint = MakePaint(*dc->state.brush, *dc, t);
        ForEachClipped(t, inside, [&](const RECT& piece) {
            session.Touch(piece);
            PaintArea(t.surface, piece, paint, PATCOPY);
        });
    }
    if (framed && r.right - r.left >= 2 && r.bottom - r.top >= 2) {
        POINT corners[] = {{r.left, r.top},
                           {r.right - 1, r.top},
                           {r.right - 1, r.bottom - 1},
                           {r.left, r.bottom - 1},
                           {r.left, r.top}};
        for (int i = 0; i < 4; ++i)
            StrokeLine(session, pen, corners[i], corners[i + 1]);
    }
    return TRUE;
}

namespace {

struct EdgeColors {
    int topLeft = -1;  // system colour indexes; -1: this border is not drawn
    int bottomRight = -1;
};

EdgeColors OuterColors(UINT edge, UINT flags) {
    if (!(edge & BDR_OUTER))
        return {};
    if (flags & BF_MONO)
        return {COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
    if (flags & BF_FLAT)
        return {COLOR_3DSHADOW, COLOR_3DSHADOW};
    return edge & BDR_RAISEDOUTER ? EdgeColors{COLOR_3DLIGHT, COLOR_3DDKSHADOW}
                                  : EdgeColors{COLOR_3DSHADOW, COLOR_3DHILIGHT};
}

EdgeColors InnerColors(UINT edge, UINT flags) {
    if (!(edge & BDR_INNER))
        return {};
    if (flags & BF_MONO)
        return {COLOR_WINDOW, COLOR_WINDOW};
    if (flags & BF_FLAT)
        return {COLOR_3DFACE, COLOR_3DFACE};
    return edge & BDR_RAISEDINNER ? EdgeColors{COLOR_3DHILIGHT, COLOR_3DSHADOW}
                                  : EdgeColors{COLOR_3DDKSHADOW, COLOR_3DLIGHT};
}

// One pixel-wide border on the flagged sides of r (device coordinates); the
// bottom-right colour owns the top-right and bottom-left corners. Shrinks r.
void DrawBorder(DrawSession& session, RECT& r, EdgeColors colors, UINT flags) {
    if (colors.topLeft < 0 || IsEmpty(r))
        return;
    const Target& t = session.Dst();
    uint32_t tl = TargetPixel(GetSysColor(colors.topLeft), t);
    uint32_t br = TargetPixel(GetSysColor(colors.bottomRight), t);
    if (flags & BF_TOP)
        FillDevice(session, {r.left, r.top, r.right, r.top + 1}, tl);
    if (flags & BF_LEFT)
        FillDevice(session, {r.left, r.top, r.left + 1, r.bottom}, tl);
    if (flags & BF_BOTTOM)
        FillDevice(session, {r.left, r.bottom - 1, r.right, r.bottom}, br);
    if (flags & BF_RIGHT)
        FillDevice(session, {r.right - 1, r.top, r.right, r.bottom}, br);
    r.left += (flags & BF_LEFT) ? 1 : 0;
    r.top += (flags & BF_TOP) ? 1 : 0;
    r.right -= (flags & BF_RIGHT) ? 1 : 0;
    r.bottom -= (flags & BF_BOTTOM) ? 1 : 0;
}

}  // namespace

BOOL DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    if (!qrc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DrawSession session(*dc);
    const Target& t = session.Dst();
    RECT r = Offset(*qrc, t.offset);
    DrawBorder(session, r, OuterColors(edge, grfFlags), grfFlags);
    DrawBorder(session, r, InnerColors(edge, grfFlags), grfFlags);
    if ((grfFlags & BF_MIDDLE) && !IsEmpty(r)) {
        int face = (grfFlags & BF_MONO) ? COLOR_WINDOW : COLOR_3DFACE;
        FillDevice(session, r, TargetPixel(GetSysColor(face), t));
    }
    if (grfFlags & BF_ADJUST)
        *qrc = Offset(r, {-t.offset.x, -t.offset.y});
    return TRUE;
}
