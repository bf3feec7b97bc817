// OpenFont and FontFace: matching, metrics, measuring and coverage.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "display/Display.h"
#include "gdi/FontEngine.h"

namespace {

using orvi::gdi::FontFace;
using orvi::gdi::GlyphCoverage;
using orvi::gdi::OpenFont;

LOGFONTW Font(LONG height, const char16_t* face = u"", LONG weight = FW_NORMAL) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) {
        lf.lfFaceName[i] = face[i];
    }
    return lf;
}

std::shared_ptr<const FontFace> Open(const LOGFONTW& lf) {
    auto face = OpenFont(lf);
    EXPECT_NE(face, nullptr);
    return face;
}

int Width(const FontFace& face, const std::u16string& text) {
    return face.MeasureWidth(text.data(), static_cast<int>(text.size()));
}

TEST(OpenFont, HeightSignSelectsEmOrCellHeight) {
    auto em20 = Open(Font(-20));
    auto cell20 = Open(Font(20));
    // A cell height is the whole line; the em size leaves room above it.
    EXPECT_LE(cell20->Metrics().height, 20);
    EXPECT_GE(cell20->Metrics().height, 19);
    EXPECT_GT(em20->Metrics().height, 20);
    EXPECT_EQ(em20->Metrics().internalLeading, em20->Metrics().height - 20);

    // 0 is 12 points at the screen's dpi.
    const int em12pt = static_cast<int>(std::lround(12.0 * orvi::display::Geometry().dpi / 72));
    auto byDefault = Open(Font(0));
    EXPECT_EQ(byDefault->Metrics().height, Open(Font(-em12pt))->Metrics().height);
    EXPECT_EQ(Width(*byDefault, u"Default"), Width(*Open(Font(-em12pt)), u"Default"));
}

TEST(OpenFont, MetricsAreConsistent) {
    for (LONG height : {-10, -13, -16, -32, 15}) {
        auto face = Open(Font(height));
        const auto& m = face->Metrics();
        SCOPED_TRACE(height);
        EXPECT_EQ(m.height, m.ascent + m.descent);
        EXPECT_GT(m.ascent, m.descent);
        EXPECT_GT(m.descent, 0);
        EXPECT_GT(m.aveCharWidth, m.height / 5);
        EXPECT_LT(m.aveCharWidth, m.height);
        EXPECT_GE(m.maxCharWidth, m.aveCharWidth);
        EXPECT_EQ(m.weight, FW_NORMAL);
    }
}

TEST(OpenFont, FaceNamesMatchOrFallBackToDejaVuSans) {
    EXPECT_EQ(Open(Font(-12, u"No Such Face Xyz"))->FaceName(), u"DejaVu Sans");
    EXPECT_EQ(Open(Font(-12))->FaceName(), u"DejaVu Sans");
    EXPECT_EQ(Open(Font(-12, u"dejavu serif"))->FaceName(), u"DejaVu Serif");
    // The fallback really is the default face, not some other one.
    EXPECT_EQ(Width(*Open(Font(-12, u"No Such Face Xyz")), u"Fallback text"),
              Width(*Open(Font(-12, u"DejaVu Sans")), u"Fallback text"));
}

TEST(OpenFont, SameLogFontSharesOneFace) {
    auto a = Open(Font(-14, u"DejaVu Sans"));
    auto b = Open(Font(-14, u"DEJAVU SANS"));
    EXPECT_EQ(a.get(), b.get());
    EXPECT_NE(a.get(), Open(Font(-15, u"DejaVu Sans")).get());
    EXPECT_NE(a.get(), Open(Font(-14, u"DejaVu Sans", FW_BOLD)).get());
}

TEST(OpenFont, BoldIsWiderRealOrSynthetic) {
    const std::u16string text = u"Bold text 123";
    EXPECT_GT(Width(*Open(Font(-13, u"DejaVu Sans", FW_BOLD)), text),
              Width(*Open(Font(-13, u"DejaVu Sans")), text));
    // This family has no bold face: the outlines are emboldened.
    EXPECT_GT(Width(*Open(Font(-13, u"DejaVu Math TeX Gyre", FW_BOLD)), text),
              Width(*Open(Font(-13, u"DejaVu Math TeX Gyre")), text));
}

TEST(FontFace, PrefixWidthsAddUpToTheMeasuredWidth) {
    auto face = Open(Font(-12));
    // U+1D400 is a surrogate pair: its first half adds nothing.
    const std::u16string text = u"Wij \U0001D400 fit, \u00e9l\u00e8ve";
    std::vector<int> prefixes(text.size());
    face->MeasurePrefixes(text.data(), static_cast<int>(text.size()), prefixes.data());
    for (size_t i = 0; i < text.size(); ++i) {
        SCOPED_TRACE(i);
        const bool firstHalf = text[i] >= 0xD800 && text[i] < 0xDC00;
        const size_t upTo = firstHalf ? i : i + 1;
        EXPECT_EQ(prefixes[i], face->MeasureWidth(text.data(), static_cast<int>(upTo)));
    }
    EXPECT_EQ(prefixes.back(), Width(*face, text));
    EXPECT_GT(Width(*face, u"\U0001D400"), 0);
    EXPECT_EQ(Width(*face, u"ab\r\ncd"), Width(*face, u"abcd"));
}

// Coverage is only valid during the sink call: what the checks need is
// copied out there.
struct Rendered {
    std::vector<GlyphCoverage> blocks;
    std::vector<int> weakest;  // per block, the lowest coverage in it
    int inked = 0;
};

Rendered Render(const FontFace& face, const std::u16string& text, int x, int y) {
    Rendered out;
    face.Render(text.data(), static_cast<int>(text.size()), x, y, [&](const GlyphCoverage& g) {
        out.blocks.push_back(g);
        out.blocks.back().coverage = nullptr;
        int weakest = 255;
        for (int r = 0; r < g.height; ++r) {
            for (int c = 0; c < g.width; ++c) {
                out.inked += g.coverage[r * g.pitch + c] != 0;
                weakest = std::min<int>(weakest, g.coverage[r * g.pitch + c]);
            }
        }
        out.weakest.push_back(weakest);
    });
    return out;
}

TEST(FontFace, RenderHandsCoverageInsideTheCell) {
    auto face = Open(Font(-14));
    const auto& m = face->Metrics();
    const std::u16string text = u"Hg\u00c9y j";
    const int width = Width(*face, text);
    Rendered r = Render(*face, text, 10, 20);
    EXPECT_EQ(r.blocks.size(), 5u);  // the space has no ink
    EXPECT_GT(r.inked, 40);
    for (const auto& g : r.blocks) {
        EXPECT_GE(g.x, 10 - 1);
        EXPECT_LE(g.x + g.width, 10 + width + 1);
        EXPECT_GE(g.y, 20);
        EXPECT_LE(g.y + g.height, 20 + m.height);
        EXPECT_GE(g.pitch, g.width);
    }
    // 'g' reaches below the baseline, 'H' ends on it.
    EXPECT_GT(r.blocks[1].y + r.blocks[1].height, 20 + m.ascent);
    EXPECT_EQ(r.blocks[0].y + r.blocks[0].height, 20 + m.ascent);
}

TEST(FontFace, MissingCharactersComeFromAnotherFace) {
    // DejaVu Serif has no snowman; no installed font has U+E000, which shows
    // as the face's missing-glyph box.
    auto serif = Open(Font(-16, u"DejaVu Serif"));
    Rendered box = Render(*serif, u"\ue000", 0, 0);
    Rendered snowman = Render(*serif, u"\u2603", 0, 0);
    ASSERT_EQ(box.blocks.size(), 1u);
    ASSERT_EQ(snowman.blocks.size(), 1u);
    EXPECT_NE(snowman.inked, box.inked);
    EXPECT_NE(snowman.blocks[0].width, box.blocks[0].width);
    EXPECT_EQ(Width(*serif, u"\u2603"), Width(*Open(Font(-16, u"DejaVu Sans")), u"\u2603"));
}

TEST(FontFace, UnderlineIsALastSolidBlockBelowTheBaseline) {
    LOGFONTW lf = Font(-14);
    lf.lfUnderline = TRUE;
    auto face = Open(lf);
    ASSERT_TRUE(face->Metrics().underline);
    Rendered plain = Render(*Open(Font(-14)), u"under", 0, 0);
    Rendered under = Render(*face, u"under", 0, 0);
    ASSERT_EQ(under.blocks.size(), plain.blocks.size() + 1);
    const GlyphCoverage& line = under.blocks.back();
    EXPECT_EQ(line.x, 0);
    EXPECT_EQ(line.width, Width(*face, u"under"));
    EXPECT_GT(line.y, face->Metrics().ascent);
    EXPECT_LE(line.y + line.height, face->Metrics().height);
    EXPECT_EQ(under.weakest.back(), 255);
}

TEST(FontFace, ConcurrentUseGivesTheSameResults) {
    auto face = Open(Font(-11, u"DejaVu Sans Mono"));
    const std::u16string text = u"Concurrent \u0416\u0436 \u03a9 glyphs 0123456789";
    std::vector<int> widths(4);
    std::vector<int> inked(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            widths[t] = Width(*face, text);
            inked[t] = Render(*face, text, 0, 0).inked;
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 1; t < 4; ++t) {
        EXPECT_EQ(widths[t], widths[0]);
        EXPECT_EQ(inked[t], inked[0]);
    }
}

TEST(FontFace, CachedRowsAreCheap) {
    auto face = Open(Font(-12));
    const std::u16string row = u"Station name, 128 kbps - Genre";
    std::vector<int> prefixes(row.size());
    int sink = 0;
    auto frame = [&] {
        for (int i = 0; i < 12; ++i) {
            face->MeasurePrefixes(row.data(), static_cast<int>(row.size()), prefixes.data());
            face->Render(row.data(), static_cast<int>(row.size()), 0, i * 16,
                         [&](const GlyphCoverage& g) { sink += g.width; });
        }
    };
    frame();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        frame();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GT(sink, 0);
    // 1200 rows; a generous bound well above the expected few milliseconds.
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

}  // namespace
