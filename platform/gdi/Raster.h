// The raster core shared by the drawing calls: brushes made ready for a
// surface, colour/mono conversion, raster operations on rows and scaled
// blits. Everything works in device coordinates, already clipped.
#pragma once

#include "gdi/DrawSession.h"

namespace orvi::gdi {

// A brush made ready for one target: mono patterns take the DC's colours,
// colours written to a mono surface become black or white.
struct Paint {
    bool solid = true;
    uint32_t pixel = 0;
    std::vector<uint32_t> pattern;
    int width = 0;
    int height = 0;
    POINT org{0, 0};  // device position of the pattern's (0, 0)
    void Row(int y, int x, int n, uint32_t* out) const;
};
Paint MakePaint(const Brush& brush, const Dc& dc, const Target& target);
uint32_t TargetPixel(COLORREF color, const Target& target);

// Source conversion applied while reading the source of a blit.
struct Conversion {
    // Nearest: colour to the nearest of black and white (icons on mono surfaces).
    enum Kind { None, ColorToMono, MonoToColor, Nearest } kind = None;
    uint32_t key = 0;   // ColorToMono: the source DC's background colour
    uint32_t zero = 0;  // MonoToColor: 0 bits (destination text colour)
    uint32_t one = 0;   // MonoToColor: 1 bits (destination background colour)
};
Conversion MakeConversion(const Dc& dst, const Target& dstTarget, const Dc& src,
                          const Target& srcTarget);
void ConvertRow(const Conversion& conv, const uint32_t* in, int n, uint32_t* out);

bool RopUsesSource(DWORD rop);
bool RopUsesPattern(DWORD rop);
// d[i] = rop(p[i], s[i], d[i]); s or p may be null when the rop does not use them.
void RopRow(DWORD rop, uint32_t* d, const uint32_t* s, const uint32_t* p, int n);
void FillArea(const Surface& s, const RECT& r, uint32_t pixel);
void PaintArea(const Surface& s, const RECT& r, const Paint& paint, DWORD rop);

// A scaled blit's geometry: the source rectangle (source device
// coordinates) is mapped nearest-neighbour onto the destination rectangle.
// Widths and heights are positive; mirrorX/Y flip the source.
struct StretchParams {
    RECT dst;
    RECT src;
    bool mirrorX = false;
    bool mirrorY = false;
};
// Called per destination row piece: d points at the destination pixels at
// device (x, y), s at n converted source pixels mapped onto them.
using RowOp = std::function<void(uint32_t* d, const uint32_t* s, int n, int x, int y)>;
// Walks the destination rectangle inside the clip and the source surface,
// handing each row piece to op; overlapping blits within one surface read
// the source before it is overwritten.
void MapRows(DrawSession& session, const Surface& src, const StretchParams& params,
             const Conversion& conv, const RowOp& op);
void StretchRop(DrawSession& session, const StretchParams& params, const Conversion& conv,
                const Paint* paint, DWORD rop);

// Blends a run's coverage in `color` onto the target, clipped to `clip`
// (device coordinates) and the target's clip rectangles. (x, y) is the
// top-left of the run's cell in device coordinates.
void BlendText(DrawSession& session, const FontFace& face, const WCHAR* text, int count, int x,
               int y, COLORREF color, const RECT* clip);

}  // namespace orvi::gdi
