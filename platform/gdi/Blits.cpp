// Block transfers: BitBlt, StretchBlt, PatBlt, AlphaBlend and GradientFill.
#include "Raster.h"

using namespace orvi::gdi;

namespace {

struct BlitRequest {
    RECT dst;  // logical, normalised
    RECT src;
    bool mirrorX = false;
    bool mirrorY = false;
    DWORD rop = SRCCOPY;
};

// Turns (origin, extent) pairs into rectangles; a negative extent covers
// [origin + extent, origin) and flips the picture.
void Normalise(int& origin, int& extent, bool& mirror) {
    if (extent < 0) {
        origin += extent;
        extent = -extent;
        mirror = !mirror;
    }
}

BOOL PatternBlit(Dc& dc, RECT logical, DWORD rop) {
    DrawSession session(dc);
    const Target& t = session.Dst();
    if (RopUsesPattern(rop) && dc.state.brush->style == BS_NULL)
        return TRUE;
    Paint paint = MakePaint(*dc.state.brush, dc, t);
    ForEachClipped(t, Offset(logical, t.offset), [&](const RECT& piece) {
        session.Touch(piece);
        PaintArea(t.surface, piece, paint, rop);
    });
    return TRUE;
}

BOOL Blit(HDC hdcDest, HDC hdcSrc, const BlitRequest& request) {
    auto dst = ReferenceDc(hdcDest);
    if (!dst)
        return FALSE;
    if (!RopUsesSource(request.rop))
        return PatternBlit(*dst, request.dst, request.rop);
    auto src = ReferenceDc(hdcSrc);
    if (!src)
        return FALSE;
    DrawSession session(*dst, *src);
    bool usesPattern = RopUsesPattern(request.rop) && dst->state.brush->style != BS_NULL;
    Paint paint;
    if (usesPattern)
        paint = MakePaint(*dst->state.brush, *dst, session.Dst());
    StretchParams params{Offset(request.dst, session.Dst().offset),
                         Offset(request.src, session.Src().offset), request.mirrorX,
                         request.mirrorY};
    Conversion conv = MakeConversion(*dst, session.Dst(), *src, session.Src());
    StretchRop(session, params, conv, usesPattern ? &paint : nullptr, request.rop);
    return TRUE;
}

}  // namespace

BOOL PatBlt(HDC hdc, int nXLeft, int nYLeft, int nWidth, int nHeight, DWORD dwRop) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    if (RopUsesSource(dwRop)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    bool unused = false;
    Normalise(nXLeft, nWidth, unused);
    Normalise(nYLeft, nHeight, unused);
    return PatternBlit(*dc, {nXLeft, nYLeft, nXLeft + nWidth, nYLeft + nHeight}, dwRop);
}

BOOL BitBlt(HDC hdcDest, int nXDest, int nYDest, int nWidth, int nHeight, HDC hdcSrc, int nXSrc,
            int nYSrc, DWORD dwRop) {
    if (nWidth < 0) {
        nXDest += nWidth;
        nXSrc += nWidth;
        nWidth = -nWidth;
    }
    if (nHeight < 0) {
        nYDest += nHeight;
        nYSrc += nHeight;
        nHeight = -nHeight;
    }
    BlitRequest request{{nXDest, nYDest, nXDest + nWidth, nYDest + nHeight},
                        {nXSrc, nYSrc, nXSrc + nWidth, nYSrc + nHeight}};
    request.rop = dwRop;
    return Blit(hdcDest, hdcSrc, request);
}

BOOL StretchBlt(HDC hdcDest, int nXOriginDest, int nYOriginDest, int nWidthDest, int nHeightDest,
                HDC hdcSrc, int nXOriginSrc, int nYOriginSrc, int nWidthSrc, int nHeightSrc,
                DWORD dwRop) {
    BlitRequest request;
    Normalise(nXOriginDest, nWidthDest, request.mirrorX);
    Normalise(nYOriginDest, nHeightDest, request.mirrorY);
    Normalise(nXOriginSrc, nWidthSrc, request.mirrorX);
    Normalise(nYOriginSrc, nHeightSrc, request.mirrorY);
    request.dst = {nXOriginDest, nYOriginDest, nXOriginDest + nWidthDest,
                   nYOriginDest + nHeightDest};
    request.src = {nXOriginSrc, nYOriginSrc, nXOriginSrc + nWidthSrc, nYOriginSrc + nHeightSrc};
    request.rop = dwRop;
    return Blit(hdcDest, hdcSrc, request);
}

namespace {

inline uint32_t Div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Constant alpha: every channel moves `alpha` of the way to the source.
void BlendConstant(uint32_t* d, const uint32_t* s, int n, uint32_t alpha) {
    uint32_t keep = 255 - alpha;
    for (int i = 0; i < n; ++i) {
        uint32_t out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t sc = (s[i] >> shift) & 0xFF, dc = (d[i] >> shift) & 0xFF;
            out |= Div255(sc * alpha + dc * keep) << shift;
        }
        d[i] = out;
    }
}

// Per-pixel alpha over a premultiplied source, scaled by the constant alpha.
void BlendPremultiplied(uint32_t* d, const uint32_t* s, int n, uint32_t constant) {
    for (int i = 0; i < n; ++i) {
        uint32_t sa = Div255((s[i] >> 24) * constant);
        if (sa == 0 && constant == 255)
            continue;
        uint32_t keep = 255 - sa, out = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            uint32_t sc = (s[i] >> shift) & 0xFF, dc = (d[i] >> shift) & 0xFF;
            out |= std::min<uint32_t>(Div255(sc * constant) + Div255(dc * keep), 255) << shift;
        }
        d[i] = out;
    }
}

bool ValidBlend(const BLENDFUNCTION& f) {
    return f.BlendOp == AC_SRC_OVER && f.BlendFlags == 0 &&
           (f.AlphaFormat == 0 || f.AlphaFormat == AC_SRC_ALPHA);
}

bool Overlap(const RECT& a, const RECT& b) {
    return !IsEmpty(Intersect(a, b));
}

}  // namespace

BOOL AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, BLENDFUNCTION ftn) {
    auto dst = ReferenceDc(hdcDest);
    auto src = dst ? ReferenceDc(hdcSrc) : nullptr;
    if (!src)
        return FALSE;
    RECT dstRect{xoriginDest, yoriginDest, xoriginDest + wDest, yoriginDest + hDest};
    RECT srcRect{xoriginSrc, yoriginSrc, xoriginSrc + wSrc, yoriginSrc + hSrc};
    if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0 || !ValidBlend(ftn) ||
        (dst == src && Overlap(dstRect, srcRect))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DrawSession session(*dst, *src);
    const Target& st = session.Src();
    RECT srcDevice = Offset(srcRect, st.offset);
    if (srcDevice.left < 0 || srcDevice.top < 0 || srcDevice.right > st.surface.width ||
        srcDevice.bottom > st.surface.height) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    StretchParams params{Offset(dstRect, session.Dst().offset), srcDevice};
    Conversion conv = MakeConversion(*dst, session.Dst(), *src, st);
    uint32_t constant = ftn.SourceConstantAlpha;
    bool perPixel = ftn.AlphaFormat == AC_SRC_ALPHA && !st.surface.mono;
    bool screen = session.Dst().screen;
    MapRows(session, st.surface, params, conv,
            [&](uint32_t* d, const uint32_t* s, int n, int, int) {
                if (perPixel)
                    BlendPremultiplied(d, s, n, constant);
                else
                    BlendConstant(d, s, n, constant);
                if (screen)
                    for (int i = 0; i < n; ++i)
                        d[i] &= kRgbMask;
            });
    return TRUE;
}

namespace {

uint32_t Lerp(COLOR16 a, COLOR16 b, int64_t pos, int64_t len) {
    return static_cast<uint32_t>((a + (static_cast<int64_t>(b) - a) * pos / len) >> 8);
}

uint32_t GradientPixel(const TRIVERTEX& a, const TRIVERTEX& b, int64_t pos, int64_t len,
                       bool keepAlpha) {
    uint32_t p = (Lerp(a.Red, b.Red, pos, len) << 16) | (Lerp(a.Green, b.Green, pos, len) << 8) |
                 Lerp(a.Blue, b.Blue, pos, len);
    if (keepAlpha)
        p |= Lerp(a.Alpha, b.Alpha, pos, len) << 24;
    return p;
}

void FillGradientRect(DrawSession& session, TRIVERTEX a, TRIVERTEX b, bool vertical) {
    const Target& t = session.Dst();
    if ((vertical ? b.y < a.y : b.x < a.x))
        std::swap(a, b);
    RECT area = Offset(
        {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}, t.offset);
    int64_t len = vertical ? area.bottom - area.top : area.right - area.left;
    bool keepAlpha = !t.screen && !t.surface.mono;
    ForEachClipped(t, area, [&](const RECT& piece) {
        session.Touch(piece);
        for (int y = piece.top; y < piece.bottom; ++y) {
            uint32_t* row = t.surface.Row(y);
            for (int x = piece.left; x < piece.right; ++x) {
                int64_t pos = vertical ? y - area.top : x - area.left;
                uint32_t p = GradientPixel(a, b, pos, len, keepAlpha);
                row[x] = t.surface.mono ? MonoFromPixel(p) : p;
            }
        }
    });
}

}  // namespace

BOOL GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, LPVOID pMesh, ULONG nCount,
                  ULONG ulMode) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return FALSE;
    auto* rects = static_cast<const GRADIENT_RECT*>(pMesh);
    bool valid =
        pVertex && rects && (ulMode == GRADIENT_FILL_RECT_H || ulMode == GRADIENT_FILL_RECT_V);
    for (ULONG i = 0; valid && i < nCount; ++i)
        valid = rects[i].UpperLeft < nVertex && rects[i].LowerRight < nVertex;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DrawSession session(*dc);
    for (ULONG i = 0; i < nCount; ++i)
        FillGradientRect(session, pVertex[rects[i].UpperLeft], pVertex[rects[i].LowerRight],
                         ulMode == GRADIENT_FILL_RECT_V);
    return TRUE;
}
