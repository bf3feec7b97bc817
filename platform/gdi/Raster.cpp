// The raster core: brushes made ready for a surface, colour/mono
// conversion, raster operations on rows, and scaled blits.
#include <cstring>

#include "Raster.h"

namespace orvi::gdi {

uint32_t TargetPixel(COLORREF color, const Target& target) {
    uint32_t p = PixelFromColor(color);
    return target.surface.mono ? MonoFromPixel(p) : p;
}

Paint MakePaint(const Brush& brush, const Dc& dc, const Target& target) {
    Paint paint;
    if (brush.style != BS_PATTERN) {
        paint.pixel = TargetPixel(brush.color, target);
        return paint;
    }
    paint.solid = false;
    paint.width = brush.patternWidth;
    paint.height = brush.patternHeight;
    paint.org = {dc.state.brushOrg.x + target.offset.x, dc.state.brushOrg.y + target.offset.y};
    paint.pattern = brush.pattern;
    if (brush.patternMono && !target.surface.mono) {
        // Monochrome patterns take the DC's colours: 0 text, 1 background.
        uint32_t zero = PixelFromColor(dc.state.textColor), one = PixelFromColor(dc.state.bkColor);
        for (uint32_t& p : paint.pattern)
            p = p ? one : zero;
    } else if (!brush.patternMono && target.surface.mono) {
        for (uint32_t& p : paint.pattern)
            p = MonoFromPixel(p);
    }
    return paint;
}

void Paint::Row(int y, int x, int n, uint32_t* out) const {
    if (solid) {
        std::fill(out, out + n, pixel);
        return;
    }
    int py = ((y - org.y) % height + height) % height;
    int px = ((x - org.x) % width + width) % width;
    const uint32_t* row = &pattern[static_cast<size_t>(py) * width];
    for (int i = 0; i < n; ++i) {
        out[i] = row[px];
        if (++px == width)
            px = 0;
    }
}

Conversion MakeConversion(const Dc& dst, const Target& dstTarget, const Dc& src,
                          const Target& srcTarget) {
    Conversion conv;
    if (srcTarget.surface.mono && !dstTarget.surface.mono) {
        conv.kind = Conversion::MonoToColor;
        conv.zero = PixelFromColor(dst.state.textColor);
        conv.one = PixelFromColor(dst.state.bkColor);
    } else if (!srcTarget.surface.mono && dstTarget.surface.mono) {
        conv.kind = Conversion::ColorToMono;
        conv.key = PixelFromColor(src.state.bkColor);
    }
    return conv;
}

void ConvertRow(const Conversion& conv, const uint32_t* in, int n, uint32_t* out) {
    switch (conv.kind) {
    case Conversion::None:
        if (in != out)
            std::memmove(out, in, n * 4u);
        break;
    case Conversion::ColorToMono:
        for (int i = 0; i < n; ++i)
            out[i] = (in[i] & kRgbMask) == conv.key ? kWhite : 0;
        break;
    case Conversion::MonoToColor:
        for (int i = 0; i < n; ++i)
            out[i] = in[i] ? conv.one : conv.zero;
        break;
    case Conversion::Nearest:
        for (int i = 0; i < n; ++i)
            out[i] = MonoFromPixel(in[i]);
        break;
    }
}

namespace {

uint8_t RopCode(DWORD rop) {
    return static_cast<uint8_t>(rop >> 16);
}

// Any ternary raster operation: bit (P << 2 | S << 1 | D) of the code is the
// result for those input bits.
uint32_t Ternary(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (code & (1 << i))
            r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r & kRgbMask;
}

}  // namespace

bool RopUsesSource(DWORD rop) {
    uint8_t c = RopCode(rop);
    return ((c >> 2) & 0x33) != (c & 0x33);
}

bool RopUsesPattern(DWORD rop) {
    uint8_t c = RopCode(rop);
    return ((c >> 4) & 0x0F) != (c & 0x0F);
}

void RopRow(DWORD rop, uint32_t* d, const uint32_t* s, const uint32_t* p, int n) {
    switch (RopCode(rop)) {
    case 0xCC: std::memmove(d, s, n * 4u); return;
    case 0x88:
        for (int i = 0; i < n; ++i)
            d[i] &= s[i];
        return;
    case 0xEE:
        for (int i = 0; i < n; ++i)
            d[i] |= s[i];
        return;
    case 0x66:
        for (int i = 0; i < n; ++i)
            d[i] ^= s[i];
        return;
    case 0xF0: std::memcpy(d, p, n * 4u); return;
    case 0x00: std::fill(d, d + n, 0u); return;
    case 0xFF: std::fill(d, d + n, kWhite); return;
    case 0x55:
        for (int i = 0; i < n; ++i)
            d[i] = ~d[i] & kRgbMask;
        return;
    default: break;
    }
    uint8_t code = RopCode(rop);
    for (int i = 0; i < n; ++i)
        d[i] = Ternary(code, p ? p[i] : 0, s ? s[i] : 0, d[i]);
}

void FillArea(const Surface& s, const RECT& r, uint32_t pixel) {
    for (int y = r.top; y < r.bottom; ++y) {
        uint32_t* row = s.Row(y);
        std::fill(row + r.left, row + r.right, pixel);
    }
}

void PaintArea(const Surface& s, const RECT& r, const Paint& paint, DWORD rop) {
    if (paint.solid && RopCode(rop) == 0xF0) {
        FillArea(s, r, paint.pixel);
        return;
    }
    int n = r.right - r.left;
    std::vector<uint32_t> pattern(n);
    for (int y = r.top; y < r.bottom; ++y) {
        paint.Row(y, r.left, n, pattern.data());
        RopRow(rop, s.Row(y) + r.left, nullptr, pattern.data(), n);
    }
}

namespace {

// map[i]: source coordinate of destination index i; out-of-surface sources
// narrow [lo, hi), the destination indexes that can be drawn.
std::vector<int> MapAxis(int dstLen, int srcStart, int srcLen, bool mirror, int limit, int& lo,
                         int& hi) {
    std::vector<int> map(dstLen);
    lo = dstLen;
    hi = 0;
    for (int i = 0; i < dstLen; ++i) {
        int s = static_cast<int>((2LL * i + 1) * srcLen / (2LL * dstLen));
        map[i] = srcStart + (mirror ? srcLen - 1 - s : s);
        if (map[i] >= 0 && map[i] < limit) {
            lo = std::min(lo, i);
            hi = i + 1;
        }
    }
    return map;
}

}  // namespace

void MapRows(DrawSession& session, const Surface& src, const StretchParams& params,
             const Conversion& conv, const RowOp& op) {
    const Surface& dst = session.Dst().surface;
    int dw = params.dst.right - params.dst.left, dh = params.dst.bottom - params.dst.top;
    int sw = params.src.right - params.src.left, sh = params.src.bottom - params.src.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    int x0, x1, y0, y1;
    auto xmap = MapAxis(dw, params.src.left, sw, params.mirrorX, src.width, x0, x1);
    auto ymap = MapAxis(dh, params.src.top, sh, params.mirrorY, src.height, y0, y1);
    RECT area{params.dst.left + x0, params.dst.top + y0, params.dst.left + x1, params.dst.top + y1};
    bool identityX = sw == dw && !params.mirrorX;
    // Within one surface, a destination below its source is walked bottom-up
    // so no source row is overwritten before it is read.
    bool upward = src.top == dst.top && params.dst.top > params.src.top;
    std::vector<uint32_t> row(dw);
    ForEachClipped(session.Dst(), area, [&](const RECT& piece) {
        session.Touch(piece);
        int n = piece.right - piece.left;
        int first = piece.left - params.dst.left;
        for (int k = 0; k < piece.bottom - piece.top; ++k) {
            int y = upward ? piece.bottom - 1 - k : piece.top + k;
            const uint32_t* srow = src.Row(ymap[y - params.dst.top]);
            if (identityX)
                ConvertRow(conv, srow + xmap[first], n, row.data());
            else {
                for (int i = 0; i < n; ++i)
                    row[i] = srow[xmap[first + i]];
                ConvertRow(conv, row.data(), n, row.data());
            }
            op(dst.Row(y) + piece.left, row.data(), n, piece.left, y);
        }
    });
}

void StretchRop(DrawSession& session, const StretchParams& params, const Conversion& conv,
                const Paint* paint, DWORD rop) {
    std::vector<uint32_t> pattern;
    MapRows(session, session.Src().surface, params, conv,
            [&](uint32_t* d, const uint32_t* s, int n, int x, int y) {
                const uint32_t* p = nullptr;
                if (paint) {
                    pattern.resize(n);
                    paint->Row(y, x, n, pattern.data());
                    p = pattern.data();
                }
                RopRow(rop, d, s, p, n);
                if (session.Dst().screen)
                    for (int i = 0; i < n; ++i)
                        d[i] &= kRgbMask;
            });
}

}  // namespace orvi::gdi
