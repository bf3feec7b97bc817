// A FontFace on one FreeType face at one pixel size, with its glyph cache.
//
// Glyphs are rasterised once and kept for the face's life; a cached glyph
// never moves or changes, so measuring and rendering read it without the
// lock. Code points below kDirectGlyphs are found through a lock-free table,
// the rest through a map under the face's lock. FreeType calls on the face
// happen under that lock only.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "gdi/FontEngine.h"
#include "gdi/FontMatcher.h"

namespace orvi::gdi {

struct CachedGlyph {
    int advance = 0;  // pixels
    int left = 0;     // coverage's left edge from the pen position
    int top = 0;      // coverage's top edge above the baseline
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width x height, pitch = width
};

class FreeTypeFace final : public FontFace {
public:
    // Opens the matched file for the LOGFONTW at `dpi`; null when FreeType
    // cannot read it.
    static std::shared_ptr<FreeTypeFace> Open(const LOGFONTW& font, const FontMatch& match,
                                              int dpi);
    ~FreeTypeFace() override;
    FreeTypeFace(const FreeTypeFace&) = delete;
    FreeTypeFace& operator=(const FreeTypeFace&) = delete;

    const FontMetrics& Metrics() const override { return m_metrics; }
    const std::u16string& FaceName() const override { return m_faceName; }
    int MeasureWidth(const WCHAR* text, int count) const override;
    void MeasurePrefixes(const WCHAR* text, int count, int* widths) const override;
    void Render(const WCHAR* text, int count, int x, int y,
                const std::function<void(const GlyphCoverage&)>& sink) const override;

private:
    static constexpr char32_t kDirectGlyphs = 0x800;

    FreeTypeFace(FT_Face face, const FontMatch& match);
    bool SetSize(const LOGFONTW& font, int dpi);
    void ComputeMetrics(const LOGFONTW& font);
    const CachedGlyph& Glyph(char32_t codePoint) const;
    // Both under m_lock.
    const CachedGlyph* Rasterise(char32_t codePoint) const;
    FT_Face FallbackFor(char32_t codePoint) const;
    void DrawLine(int x, int top, int width, int thickness,
                  const std::function<void(const GlyphCoverage&)>& sink) const;

    FT_Face m_face;
    int m_emPixels = 0;
    bool m_emboldenSynthetic = false;
    bool m_slantSynthetic = false;
    FT_Pos m_emboldenStrength = 0;  // 26.6
    FontMetrics m_metrics{};
    std::u16string m_faceName;
    int m_underlineTop = 0;  // below the baseline
    int m_strikeTop = 0;     // above the baseline
    int m_lineThickness = 1;
    bool m_strikeOut = false;

    mutable std::mutex m_lock;
    mutable std::array<std::atomic<const CachedGlyph*>, kDirectGlyphs> m_direct{};
    mutable std::unordered_map<char32_t, const CachedGlyph*> m_others;
    mutable std::vector<std::unique_ptr<CachedGlyph>> m_glyphs;
    mutable std::map<std::string, FT_Face> m_fallbacks;  // by file#index; null: unusable
};

}  // namespace orvi::gdi
