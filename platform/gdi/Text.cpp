// Text entry points over the font engine: fonts, measuring, ExtTextOutW
// and DrawTextW.
#include <numeric>

#include "display/Display.h"
#include "gdi/TextLayout.h"
#include "Raster.h"

namespace orvi::gdi {

LOGFONTW LogFontOf(const Font& font) {
    LOGFONTW lf = font.logFont;
    if (font.scaleToScreen)
        lf.lfHeight = -display::Scale(-lf.lfHeight);
    return lf;
}

std::shared_ptr<const FontFace> Font::Face() {
    std::call_once(opened, [this] { face = OpenFont(LogFontOf(*this)); });
    return face;
}

std::shared_ptr<Font> CurrentFont(Dc& dc) {
    std::lock_guard guard(dc.lock);
    return dc.state.font;
}

void BlendText(DrawSession& session, const FontFace& face, const WCHAR* text, int count, int x,
               int y, COLORREF color, const RECT* clip) {
    const Target& t = session.Dst();
    uint32_t ink = TargetPixel(color, t);
    face.Render(text, count, x, y, [&](const GlyphCoverage& g) {
        RECT area{g.x, g.y, g.x + g.width, g.y + g.height};
        if (clip)
            area = Intersect(area, *clip);
        ForEachClipped(t, area, [&](const RECT& piece) {
            session.Touch(piece);
            for (int py = piece.top; py < piece.bottom; ++py) {
                const uint8_t* cov = g.coverage + (py - g.y) * g.pitch + (piece.left - g.x);
                uint32_t* d = t.surface.Row(py) + piece.left;
                for (int i = 0; i < piece.right - piece.left; ++i) {
                    uint32_t a = cov[i];
                    if (a == 0)
                        continue;
                    if (a == 255 || t.surface.mono) {
                        if (a >= 128)
                            d[i] = ink;
                        continue;
                    }
                    uint32_t out = 0, keep = 255 - a;
                    for (int shift = 0; shift < 24; shift += 8) {
                        uint32_t v =
                            ((ink >> shift) & 0xFF) * a + ((d[i] >> shift) & 0xFF) * keep + 128;
                        out |= ((v + (v >> 8)) >> 8) << shift;
                    }
                    d[i] = out;
                }
            }
        });
    });
}

}  // namespace orvi::gdi

using namespace orvi::gdi;

namespace {

// The face of the DC's font; null (ERROR_INVALID_HANDLE for a bad DC,
// ERROR_INVALID_PARAMETER when no font could be opened) on failure.
std::shared_ptr<const FontFace> DcFace(HDC hdc) {
    auto dc = ReferenceDc(hdc);
    if (!dc)
        return nullptr;
    auto face = CurrentFont(*dc)->Face();
    if (!face)
        SetLastError(ERROR_INVALID_PARAMETER);
    return face;
}

void FillOpaque(DrawSession& session, const RECT& deviceArea, COLORREF color, const RECT* clip) {
    const Target& t = session.Dst();
    RECT area = clip ? Intersect(deviceArea, *clip) : deviceArea;
    uint32_t pixel = TargetPixel(color, t);
    ForEachClipped(t, area, [&](const RECT& piece) {
        session.Touch(piece);
        FillArea(t.surface, piece, pixel);
    });
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW* lplf) {
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_shared<Font>();
    font->logFont = *lplf;
    font->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    font->Face();
    return reinterpret_cast<HFONT>(InsertObject(std::move(font)));
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize) {
    if (!lpSize || c < 0 || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto face = DcFace(hdc);
    if (!face)
        return FALSE;
    *lpSize = {face->MeasureWidth(lpString, c), face->Metrics().height};
    return TRUE;
}

BOOL GetTextExtentExPointW(HDC hdc, LPCWSTR lpszStr, int cchString, int nMaxExtent, LPINT lpnFit,
                           LPINT alpDx, LPSIZE lpSize) {
    if (!lpSize || cchString < 0 || (!lpszStr && cchString > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto face = DcFace(hdc);
    if (!face)
        return FALSE;
    std::vector<int> widths(cchString);
    if (cchString > 0)
        face->MeasurePrefixes(lpszStr, cchString, widths.data());
    int fit = 0;
    while (fit < cchString && widths[fit] <= nMaxExtent)
        ++fit;
    if (lpnFit)
        *lpnFit = fit;
    if (alpDx)
        std::copy(widths.begin(), widths.end(), alpDx);
    *lpSize = {cchString > 0 ? widths.back() : 0, face->Metrics().height};
    return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto face = DcFace(hdc);
    if (!face)
        return FALSE;
    const FontMetrics& m = face->Metrics();
    *lptm = TEXTMETRICW{};
    lptm->tmHeight = m.height;
    lptm->tmAscent = m.ascent;
    lptm->tmDescent = m.descent;
    lptm->tmInternalLeading = m.internalLeading;
    lptm->tmExternalLeading = m.externalLeading;
    lptm->tmAveCharWidth = m.aveCharWidth;
    lptm->tmMaxCharWidth = m.maxCharWidth;
    lptm->tmWeight = m.weight;
    lptm->tmDigitizedAspectX = lptm->tmDigitizedAspectY = orvi::display::Geometry().dpi;
    lptm->tmFirstChar = u' ';
    lptm->tmLastChar = 0xFFFC;
    lptm->tmDefaultChar = u'?';
    lptm->tmBreakChar = u' ';
    lptm->tmItalic = m.italic ? 1 : 0;
    lptm->tmUnderlined = m.underline ? 1 : 0;
    lptm->tmPitchAndFamily = 0x06;  // variable pitch, outline font
    lptm->tmCharSet = DEFAULT_CHARSET;
    return TRUE;
}

int GetTextFaceW(HDC hdc, int nCount, LPWSTR lpFaceName) {
    if (lpFaceName && nCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto face = DcFace(hdc);
    if (!face)
        return 0;
    const std::u16string& name = face->FaceName();
    if (!lpFaceName)
        return static_cast<int>(name.size()) + 1;
    int n = std::min(nCount - 1, static_cast<int>(name.size()));
    std::copy_n(name.data(), n, lpFaceName);
    lpFaceName[n] = 0;
    return n + 1;
}

BOOL ExtTextOutW(HDC hdc, int X, int Y, UINT fuOptions, const RECT* lprc, LPCWSTR lpString,
                 UINT cbCount, const INT* lpDx) {
    int count = static_cast<int>(cbCount);
    if (count < 0 || (!lpString && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto dc = ReferenceDc(hdc);
    auto face = DcFace(hdc);
    if (!dc || !face)
        return FALSE;
    DrawSession session(*dc);
    const Target& t = session.Dst();
    const DcState& s = dc->state;
    RECT box = lprc ? Offset(*lprc, t.offset) : RECT{};
    const RECT* clip = lprc && (fuOptions & ETO_CLIPPED) ? &box : nullptr;
    if (lprc && (fuOptions & ETO_OPAQUE))
        FillOpaque(session, box, s.bkColor, nullptr);
    int width = lpDx ? std::accumulate(lpDx, lpDx + count, 0) : face->MeasureWidth(lpString, count);
    const FontMetrics& m = face->Metrics();
    if ((s.textAlign & TA_CENTER) == TA_CENTER)
        X -= width / 2;
    else if (s.textAlign & TA_RIGHT)
        X -= width;
    if ((s.textAlign & TA_BASELINE) == TA_BASELINE)
        Y -= m.ascent;
    else if (s.textAlign & TA_BOTTOM)
        Y -= m.height;
    int x = X + t.offset.x, y = Y + t.offset.y;
    if (s.bkMode == OPAQUE && count > 0)
        FillOpaque(session, {x, y, x + width, y + m.height}, s.bkColor, clip);
    if (!lpDx) {
        BlendText(session, *face, lpString, count, x, y, s.textColor, clip);
        return TRUE;
    }
    for (int i = 0; i < count; x += lpDx[i], ++i)
        BlendText(session, *face, lpString + i, 1, x, y, s.textColor, clip);
    return TRUE;
}

int DrawTextW(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat) {
    if (!lpString || !lpRect || nCount < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto dc = ReferenceDc(hDC);
    auto face = DcFace(hDC);
    if (!dc || !face)
        return 0;
    TextLayoutResult layout = LayoutText(*face, lpString, nCount, *lpRect, uFormat);
    if (uFormat & DT_CALCRECT) {
        *lpRect = layout.bounds;
        return layout.height;
    }
    DrawSession session(*dc);
    const Target& t = session.Dst();
    const DcState& s = dc->state;
    RECT box = Offset(*lpRect, t.offset);
    const RECT* clip = (uFormat & DT_NOCLIP) ? nullptr : &box;
    int lineHeight = face->Metrics().height;
    for (const LaidOutLine& line : layout.lines) {
        int x = line.x + t.offset.x, y = line.y + t.offset.y;
        if (s.bkMode == OPAQUE)
            FillOpaque(session, {x, y, x + line.width, y + lineHeight}, s.bkColor, clip);
        BlendText(session, *face, line.text.data(), static_cast<int>(line.text.size()), x, y,
                  s.textColor, clip);
    }
    return layout.height;
}
