// Fonts on FreeType and fontconfig: a LOGFONTW becomes a FontFace, which
// measures text and renders it as anti-aliased coverage for the GDI text
// calls to blend into a DC.
//
// A FontFace is immutable once opened and safe to use from several threads
// at once (rendering serialises on the face's own lock). Faces are shared:
// opening the same LOGFONTW twice returns the same face.
#pragma once

#include <functional>
#include <memory>

#include "wingdi.h"

namespace orvi::gdi {

struct FontMetrics {
    int height;  // ascent + descent, the line height DrawText steps by
    int ascent;
    int descent;
    int internalLeading;
    int externalLeading;
    int aveCharWidth;
    int maxCharWidth;
    int weight;
    bool italic;
    bool underline;
};

// One glyph's coverage: `width` x `height` bytes, 0 = none, 255 = full, rows
// `pitch` bytes apart, its top-left at (x, y) in the caller's coordinates.
struct GlyphCoverage {
    int x;
    int y;
    int width;
    int height;
    int pitch;
    const uint8_t* coverage;
};

class FontFace {
public:
    virtual ~FontFace() = default;
    virtual const FontMetrics& Metrics() const = 0;
    // The face name actually used (fontconfig's match), for GetTextFaceW.
    virtual const std::u16string& FaceName() const = 0;
    // Advance width of a run in pixels, the number GetTextExtentPoint32W
    // reports (height is Metrics().height).
    virtual int MeasureWidth(const WCHAR* text, int count) const = 0;
    // Pixel advance after each character of a run: widths[i] is the width of
    // text[0..i] (for fitting and ellipsis). widths has count entries.
    virtual void MeasurePrefixes(const WCHAR* text, int count, int* widths) const = 0;
    // Renders a run whose cell's top-left is (x, y): the baseline lies at
    // y + Metrics().ascent. Each non-empty glyph is handed to the sink; an
    // underline and a strike-out line, when the font has them, are handed
    // over as last coverage blocks. The coverage is valid during the sink
    // call only. The sink runs without the face's lock held, so it may use
    // the face again.
    virtual void Render(const WCHAR* text, int count, int x, int y,
                        const std::function<void(const GlyphCoverage&)>& sink) const = 0;
};

// Opens the face for a LOGFONTW at the screen's dpi. The face name is matched
// through fontconfig; an empty or unknown name gives DejaVu Sans. Height: < 0
// is the character height (em size) in pixels, > 0 the cell height, 0 the
// default of 12 points at the screen's dpi. Weights from FW_SEMIBOLD up and
// italic are emboldened and slanted when the matched file lacks them.
// lfWidth, escapement, orientation, charset, precision and quality are
// ignored. Surrogate pairs are one character; characters the face lacks come
// from another installed face that has them, else show as the face's
// missing-glyph box; control characters take no room and show nothing.
// Never returns null while any font is installed; returns null (and traces)
// when none can be opened.
std::shared_ptr<const FontFace> OpenFont(const LOGFONTW& font);

}  // namespace orvi::gdi
