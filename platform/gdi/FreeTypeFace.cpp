#include "gdi/FreeTypeFace.h"

#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

#include "kernel/internal.h"

namespace orvi::gdi {
namespace {

constexpr int kMaxEmPixels = 1024;
// Slant of a synthetic italic: x += 0.2126 * y (about 12 degrees).
constexpr FT_Matrix kSyntheticSlant = {0x10000, 0x0366A, 0, 0x10000};

// FreeType's library object is not thread-safe for opening and closing
// faces; those happen under this lock. It lives for the process, so faces
// released during exit still find it.
std::mutex& LibraryLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

// Called under LibraryLock.
FT_Library Library() {
    static FT_Library s_library = [] {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) {
            kernel::Trace("fonts: FreeType cannot be initialised");
            return static_cast<FT_Library>(nullptr);
        }
        return library;
    }();
    return s_library;
}

FT_Face OpenFace(const std::string& file, int index) {
    std::lock_guard lock(LibraryLock());
    FT_Library library = Library();
    FT_Face face = nullptr;
    if (!library || FT_New_Face(library, file.c_str(), index, &face) != 0) {
        kernel::Trace("fonts: cannot open %s", file.c_str());
        return nullptr;
    }
    return face;
}

void CloseFace(FT_Face face) {
    if (face) {
        std::lock_guard lock(LibraryLock());
        FT_Done_Face(face);
    }
}

int CeilPixels(FT_Pos value) { return static_cast<int>((value + 63) >> 6); }
int RoundPixels(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }

int CellHeight(FT_Face face) {
    return CeilPixels(face->size->metrics.ascender) + CeilPixels(-face->size->metrics.descender);
}

// Decodes the code point at text[i] and steps past it; a lone surrogate is
// returned as it is (it has no glyph and shows as the face's .notdef).
char32_t NextCodePoint(const WCHAR* text, int count, int& i) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c < 0xDC00 && i < count && text[i] >= 0xDC00 && text[i] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i] - 0xDC00);
        ++i;
    }
    return c;
}

void CopyCoverage(const FT_Bitmap& bitmap, CachedGlyph& glyph) {
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0) {
        return;
    }
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.height);
    const int pitch = std::abs(bitmap.pitch);
    for (int row = 0; row < glyph.height; ++row) {
        // A negative pitch stores the bottom row first.
        const int source = bitmap.pitch >= 0 ? row : glyph.height - 1 - row;
        std::copy_n(bitmap.buffer + static_cast<size_t>(source) * pitch, glyph.width,
                    glyph.coverage.begin() + static_cast<ptrdiff_t>(row) * glyph.width);
    }
}

}  // namespace

std::shared_ptr<FreeTypeFace> FreeTypeFace::Open(const LOGFONTW& font, const FontMatch& match,
                                                 int dpi) {
    FT_Face face = OpenFace(match.file, match.index);
    if (!face) {
        return nullptr;
    }
    std::shared_ptr<FreeTypeFace> result(new FreeTypeFace(face, match));
    const int wantedWeight = font.lfWeight <= 0 ? FW_NORMAL : font.lfWeight;
    // The file's own style decides (fontconfig's match reports the weight
    // and slant it would synthesise, not what the file has).
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const bool fileBold = (face->style_flags & FT_STYLE_FLAG_BOLD) ||
                          (os2 && os2->version != 0xFFFF && os2->usWeightClass >= FW_SEMIBOLD);
    result->m_emboldenSynthetic = wantedWeight >= FW_SEMIBOLD && !fileBold;
    result->m_slantSynthetic = font.lfItalic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    if (!result->SetSize(font, dpi)) {
        return nullptr;
    }
    result->ComputeMetrics(font);
    return result;
}

FreeTypeFace::FreeTypeFace(FT_Face face, const FontMatch& match)
    : m_face(face), m_faceName(match.family) {}

FreeTypeFace::~FreeTypeFace() {
    for (auto& [key, face] : m_fallbacks) {
        CloseFace(face);
    }
    CloseFace(m_face);
}

bool FreeTypeFace::SetSize(const LOGFONTW& font, int dpi) {
    int em = 0;
    if (font.lfHeight < 0) {
        em = static_cast<int>(std::min<int64_t>(-static_cast<int64_t>(font.lfHeight), kMaxEmPixels));
    } else if (font.lfHeight == 0) {
        em = static_cast<int>(std::lround(12.0 * dpi / 72.0));
    } else {
        // A cell height: the largest em size whose ascent + descent fits.
        const int cell = std::min<int>(font.lfHeight, kMaxEmPixels * 2);
        const long units = std::max<long>(m_face->ascender - m_face->descender, 1);
        em = static_cast<int>(std::clamp<long>(std::lround(double(cell) * m_face->units_per_EM / units),
                                               1, kMaxEmPixels));
        while (em > 1 && (FT_Set_Pixel_Sizes(m_face, 0, em) != 0 || CellHeight(m_face) > cell)) {
            --em;
        }
        while (em < kMaxEmPixels && FT_Set_Pixel_Sizes(m_face, 0, em + 1) == 0 &&
               CellHeight(m_face) <= cell) {
            ++em;
        }
    }
    m_emPixels = std::max(em, 1);
    if (FT_Set_Pixel_Sizes(m_face, 0, m_emPixels) != 0) {
        kernel::Trace("fonts: %s cannot be set to %d px", m_face->family_name, m_emPixels);
        return false;
    }
    m_emboldenStrength = std::max<FT_Pos>(m_emPixels * 64 / 24, 32);
    return true;
}

void FreeTypeFace::ComputeMetrics(const LOGFONTW& font) {
    const FT_Size_Metrics& size = m_face->size->metrics;
    FontMetrics& m = m_metrics;
    m.ascent = CeilPixels(size.ascender);
    m.descent = CeilPixels(-size.descender);
    m.height = m.ascent + m.descent;
    m.internalLeading = std::max(0, m.height - m_emPixels);
    m.externalLeading = std::max(0, RoundPixels(size.height) - m.height);
    m.maxCharWidth = CeilPixels(size.max_advance);
    m.weight = font.lfWeight <= 0 ? FW_NORMAL : font.lfWeight;
    m.italic = font.lfItalic != 0;
    m.underline = font.lfUnderline != 0;
    m_strikeOut = font.lfStrikeOut != 0;

    const int bolder = m_emboldenSynthetic ? RoundPixels(m_emboldenStrength) : 0;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) {
        m.aveCharWidth = RoundPixels(FT_MulFix(os2->xAvgCharWidth, size.x_scale)) + bolder;
    } else {
        m.aveCharWidth = Glyph(U'x').advance;
    }
    m.maxCharWidth += bolder;

    m_lineThickness =
        std::max(1, RoundPixels(FT_MulFix(m_face->underline_thickness, size.y_scale)));
    const double center = -FT_MulFix(m_face->underline_position, size.y_scale) / 64.0;
    m_underlineTop = std::clamp(static_cast<int>(std::lround(center - m_lineThickness / 2.0)), 1,
                                std::max(1, m.descent - m_lineThickness));
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutPosition > 0) {
        m_strikeTop = RoundPixels(FT_MulFix(os2->yStrikeoutPosition, size.y_scale));
    } else {
        m_strikeTop = static_cast<int>(std::lround(m_emPixels * 0.3)) + m_lineThickness;
    }
}

const CachedGlyph& FreeTypeFace::Glyph(char32_t codePoint) const {
    if (codePoint < kDirectGlyphs) {
        if (const CachedGlyph* glyph = m_direct[codePoint].load(std::memory_order_acquire)) {
            return *glyph;
        }
    }
    std::lock_guard lock(m_lock);
    if (codePoint < kDirectGlyphs) {
        const CachedGlyph* glyph = m_direct[codePoint].load(std::memory_order_relaxed);
        if (!glyph) {
            glyph = Rasterise(codePoint);
            m_direct[codePoint].store(glyph, std::memory_order_release);
        }
        return *glyph;
    }
    auto [it, inserted] = m_others.try_emplace(codePoint, nullptr);
    if (inserted) {
        it->second = Rasterise(codePoint);
    }
    return *it->second;
}

const CachedGlyph* FreeTypeFace::Rasterise(char32_t codePoint) const {
    auto glyph = std::make_unique<CachedGlyph>();
    // Control characters take no room and show nothing; DrawText handles the
    // ones it gives a meaning to before they get here.
    if (codePoint >= 0x20 && codePoint != 0x7F) {
        FT_Face face = m_face;
        FT_UInt index = FT_Get_Char_Index(face, codePoint);
        if (index == 0) {
            if (FT_Face fallback = FallbackFor(codePoint)) {
                face = fallback;
                index = FT_Get_Char_Index(face, codePoint);
            }
            if (index == 0) {
                face = m_face;  // its .notdef box
            }
        }
        if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) == 0) {
            FT_GlyphSlot slot = face->glyph;
            FT_Pos extra = 0;
            if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
                if (m_emboldenSynthetic) {
                    FT_Outline_Embolden(&slot->outline, m_emboldenStrength);
                    extra = m_emboldenStrength;
                }
                if (m_slantSynthetic) {
                    FT_Outline_Transform(&slot->outline, &kSyntheticSlant);
                }
            }
            glyph->advance = RoundPixels(slot->advance.x + extra);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                glyph->left = slot->bitmap_left;
                glyph->top = slot->bitmap_top;
                CopyCoverage(slot->bitmap, *glyph);
            }
        }
    }
    m_glyphs.push_back(std::move(glyph));
    return m_glyphs.back().get();
}

FT_Face FreeTypeFace::FallbackFor(char32_t codePoint) const {
    FontMatch match;
    if (!MatchFontForChar(m_faceName, codePoint, match)) {
        return nullptr;
    }
    const std::string key = match.file + '#' + std::to_string(match.index);
    auto [it, inserted] = m_fallbacks.try_emplace(key, nullptr);
    if (inserted) {
        it->second = OpenFace(match.file, match.index);
        if (it->second && FT_Set_Pixel_Sizes(it->second, 0, m_emPixels) != 0) {
            CloseFace(it->second);
            it->second = nullptr;
        }
    }
    return it->second;
}

int FreeTypeFace::MeasureWidth(const WCHAR* text, int count) const {
    int width = 0;
    for (int i = 0; text && i < count;) {
        width += Glyph(NextCodePoint(text, count, i)).advance;
    }
    return width;
}

void FreeTypeFace::MeasurePrefixes(const WCHAR* text, int count, int* widths) const {
    int width = 0;
    for (int i = 0; text && i < count;) {
        const int start = i;
        const int advance = Glyph(NextCodePoint(text, count, i)).advance;
        // The first half of a surrogate pair adds nothing by itself.
        if (i - start == 2) {
            widths[start] = width;
        }
        width += advance;
        widths[i - 1] = width;
    }
}

void FreeTypeFace::Render(const WCHAR* text, int count, int x, int y,
                          const std::function<void(const GlyphCoverage&)>& sink) const {
    const int baseline = y + m_metrics.ascent;
    int pen = 0;
    for (int i = 0; text && i < count;) {
        const CachedGlyph& glyph = Glyph(NextCodePoint(text, count, i));
        if (glyph.width > 0 && glyph.height > 0) {
            sink(GlyphCoverage{x + pen + glyph.left, baseline - glyph.top, glyph.width,
                               glyph.height, glyph.width, glyph.coverage.data()});
        }
        pen += glyph.advance;
    }
    if (m_metrics.underline) {
        DrawLine(x, baseline + m_underlineTop, pen, m_lineThickness, sink);
    }
    if (m_strikeOut) {
        DrawLine(x, baseline - m_strikeTop, pen, m_lineThickness, sink);
    }
}

void FreeTypeFace::DrawLine(int x, int top, int width, int thickness,
                            const std::function<void(const GlyphCoverage&)>& sink) const {
    if (width <= 0) {
        return;
    }
    const std::vector<uint8_t> solid(static_cast<size_t>(width) * thickness, 255);
    sink(GlyphCoverage{x, top, width, thickness, width, solid.data()});
}

}  // namespace orvi::gdi
