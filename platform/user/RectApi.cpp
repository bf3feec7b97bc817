// API entry points: rectangle arithmetic.
#include <algorithm>

#include "internal.h"

using orvi::user::Region;

BOOL SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc)
        return FALSE;
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    if (!lprcDst || !lprcSrc)
        return FALSE;
    *lprcDst = *lprcSrc;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* lprc) { return !lprc || Region::IsEmpty(*lprc) ? TRUE : FALSE; }

BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom
               ? TRUE
               : FALSE;
}

BOOL PtInRect(const RECT* lprc, POINT pt) {
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom ? TRUE
                                                                                                      : FALSE;
}

BOOL OffsetRect(LPRECT lprc, int dx, int dy) {
    if (!lprc)
        return FALSE;
    *lprc = RECT{lprc->left + dx, lprc->top + dy, lprc->right + dx, lprc->bottom + dy};
    return TRUE;
}

BOOL InflateRect(LPRECT lprc, int dx, int dy) {
    if (!lprc)
        return FALSE;
    *lprc = RECT{lprc->left - dx, lprc->top - dy, lprc->right + dx, lprc->bottom + dy};
    return TRUE;
}

BOOL IntersectRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b)
        return FALSE;
    *lprcDst = Region::Intersection(*a, *b);
    return Region::IsEmpty(*lprcDst) ? FALSE : TRUE;
}

BOOL UnionRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b)
        return FALSE;
    if (Region::IsEmpty(*a) || Region::IsEmpty(*b)) {
        *lprcDst = Region::IsEmpty(*a) ? *b : *a;
        if (Region::IsEmpty(*lprcDst)) {
            *lprcDst = RECT{0, 0, 0, 0};
            return FALSE;
        }
        return TRUE;
    }
    *lprcDst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    return TRUE;
}

// The result is a rectangle only when b cuts a whole side off a; otherwise
// a is returned unchanged, as the device does.
BOOL SubtractRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b)
        return FALSE;
    Region r(*a);
    r.Subtract(*b);
    if (r.Empty()) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *lprcDst = r.Rects().size() == 1 ? r.Rects().front() : *a;
    return TRUE;
}
