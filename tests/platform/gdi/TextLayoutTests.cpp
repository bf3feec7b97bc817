// LayoutText: DrawTextW's line breaking, alignment and measuring rules.
#include <gtest/gtest.h>

#include <string>

#include "gdi/TextLayout.h"

namespace {

using orvi::gdi::FontFace;
using orvi::gdi::LayoutText;
using orvi::gdi::TextLayoutResult;

class LayoutTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        LOGFONTW lf{};
        lf.lfHeight = -12;
        m_face = orvi::gdi::OpenFont(lf);
        ASSERT_NE(m_face, nullptr);
        m_line = m_face->Metrics().height;
    }
    int Width(const std::u16string& text) const {
        return m_face->MeasureWidth(text.data(), static_cast<int>(text.size()));
    }
    TextLayoutResult Layout(const std::u16string& text, RECT rect, UINT format) const {
        return LayoutText(*m_face, text.data(), static_cast<int>(text.size()), rect, format);
    }
    std::shared_ptr<const FontFace> m_face;
    int m_line = 0;
};

TEST_F(LayoutTextTest, AlignsSingleLinesWhereTheMeasuredWidthSays) {
    const RECT rect{10, 20, 210, 120};
    const int width = Width(u"Centre me");
    auto centred = Layout(u"Centre me", rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ASSERT_EQ(centred.lines.size(), 1u);
    EXPECT_EQ(centred.lines[0].x, 10 + (200 - width) / 2);
    EXPECT_EQ(centred.lines[0].width, width);
    EXPECT_EQ(centred.lines[0].y, 20 + (100 - m_line) / 2);
    // DrawTextW returns the offset to the bottom of the text.
    EXPECT_EQ(centred.height, (100 - m_line) / 2 + m_line);

    auto right = Layout(u"Centre me", rect, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    EXPECT_EQ(right.lines[0].x, 210 - width);
    EXPECT_EQ(right.lines[0].y, 120 - m_line);
    EXPECT_EQ(right.height, 100);

    // Vertical alignment needs DT_SINGLELINE.
    auto multi = Layout(u"Centre me", rect, DT_VCENTER | DT_BOTTOM);
    EXPECT_EQ(multi.lines[0].y, 20);
    EXPECT_EQ(multi.height, m_line);
}

TEST_F(LayoutTextTest, LineBreaksCrLfAndSingleLine) {
    auto lines = Layout(u"a\r\nbb\nccc\rd\r\n\r\ne", RECT{0, 0, 300, 300}, DT_LEFT);
    const std::u16string expected[] = {u"a", u"bb", u"ccc", u"d", u"", u"e"};
    ASSERT_EQ(lines.lines.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(lines.lines[i].text, expected[i]);
        EXPECT_EQ(lines.lines[i].y, static_cast<int>(i) * m_line);
    }
    EXPECT_EQ(lines.height, 6 * m_line);

    auto single = Layout(u"one\r\ntwo", RECT{0, 0, 300, 300}, DT_SINGLELINE);
    ASSERT_EQ(single.lines.size(), 1u);
    EXPECT_EQ(single.lines[0].text, u"onetwo");
    EXPECT_EQ(single.height, m_line);
}

TEST_F(LayoutTextTest, WordBreakAtSpacesNotCountingTrailingOnes) {
    const int fits = Width(u"alpha beta") + Width(u" g") - 1;
    auto r = Layout(u"alpha beta   gamma", RECT{0, 0, fits, 300}, DT_WORDBREAK);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, u"alpha beta");
    EXPECT_EQ(r.lines[0].width, Width(u"alpha beta"));
    EXPECT_EQ(r.lines[1].text, u"gamma");
    EXPECT_EQ(r.lines[1].y, m_line);
}

TEST_F(LayoutTextTest, WordBreakSplitsAnOverlongWordBetweenCharacters) {
    const std::u16string word = u"Supercalifragilistic";
    const int maxWidth = Width(u"Super");
    auto r = Layout(u"ab " + word, RECT{0, 0, maxWidth, 500}, DT_WORDBREAK);
    ASSERT_GE(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0].text, u"ab");
    std::u16string joined;
    for (size_t i = 1; i < r.lines.size(); ++i) {
        const auto& line = r.lines[i];
        EXPECT_LE(line.width, maxWidth);
        if (i + 1 < r.lines.size()) {
            // As much as fits: one more character would not.
            const std::u16string more = line.text + r.lines[i + 1].text[0];
            EXPECT_GT(Width(more), maxWidth);
        }
        joined += line.text;
    }
    EXPECT_EQ(joined, word);
}

TEST_F(LayoutTextTest, EndEllipsisCutsLinesToFit) {
    const std::u16string text = u"A rather long station name that cannot fit";
    const int maxWidth = Width(u"A rather long");
    auto r = Layout(text, RECT{0, 0, maxWidth, 50}, DT_SINGLELINE | DT_END_ELLIPSIS);
    ASSERT_EQ(r.lines.size(), 1u);
    const std::u16string& cut = r.lines[0].text;
    ASSERT_GT(cut.size(), 3u);
    EXPECT_EQ(cut.substr(cut.size() - 3), u"...");
    EXPECT_EQ(text.compare(0, cut.size() - 3, cut, 0, cut.size() - 3), 0);
    EXPECT_LE(Width(cut), maxWidth);
    EXPECT_EQ(r.lines[0].width, Width(cut));
    // One more character would not have fitted.
    EXPECT_GT(Width(text.substr(0, cut.size() - 2) + u"..."), maxWidth);

    auto shortText = Layout(u"Short", RECT{0, 0, maxWidth, 50}, DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_EQ(shortText.lines[0].text, u"Short");
}

TEST_F(LayoutTextTest, WordBreakEllipsisMarksTheLastWholeLine) {
    const int maxWidth = Width(u"word word");
    const RECT rect{0, 0, maxWidth, 2 * m_line + m_line / 2};
    const std::u16string text = u"word word word word word word word word";
    auto r = Layout(text, rect, DT_WORDBREAK | DT_END_ELLIPSIS);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, u"word word");
    const std::u16string& last = r.lines[1].text;
    EXPECT_EQ(last.substr(last.size() - 3), u"...");
    EXPECT_LE(r.lines[1].width, maxWidth);
    // The height is still that of the whole text.
    EXPECT_EQ(r.height, 4 * m_line);
}

TEST_F(LayoutTextTest, EditControlDropsAPartlyVisibleLastLine) {
    const RECT rect{0, 0, 300, 2 * m_line + m_line / 2};
    const std::u16string text = u"1\n2\n3\n4";
    EXPECT_EQ(Layout(text, rect, DT_LEFT).lines.size(), 3u);
    EXPECT_EQ(Layout(text, rect, DT_EDITCONTROL).lines.size(), 2u);
    EXPECT_EQ(Layout(text, rect, DT_EDITCONTROL | DT_CALCRECT).lines.size(), 4u);
}

TEST_F(LayoutTextTest, CalcRectGivesTheTextsBounds) {
    const RECT rect{5, 7, 400, 8};
    auto r = Layout(u"short\nthe widest line\nmid", rect, DT_CALCRECT | DT_CENTER);
    EXPECT_EQ(r.bounds.left, 5);
    EXPECT_EQ(r.bounds.top, 7);
    EXPECT_EQ(r.bounds.right, 5 + Width(u"the widest line"));
    EXPECT_EQ(r.bounds.bottom, 7 + 3 * m_line);
    EXPECT_EQ(r.height, 3 * m_line);

    auto single = Layout(u"one\ntwo", rect, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    EXPECT_EQ(single.bounds.right - single.bounds.left, Width(u"onetwo"));
    EXPECT_EQ(single.bounds.bottom - single.bounds.top, m_line);
    EXPECT_EQ(single.height, m_line);

    auto wrapped = Layout(u"aaa bbb ccc", RECT{0, 0, Width(u"aaa bbb"), 0},
                          DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(wrapped.bounds.right, Width(u"aaa bbb"));
    EXPECT_EQ(wrapped.bounds.bottom, 2 * m_line);
}

TEST_F(LayoutTextTest, PrefixCharacters) {
    auto r = Layout(u"&File && &more&", RECT{0, 0, 300, 50}, DT_SINGLELINE);
    EXPECT_EQ(r.lines[0].text, u"File & more");
    EXPECT_EQ(r.lines[0].width, Width(u"File & more"));
    auto kept = Layout(u"&File && more", RECT{0, 0, 300, 50}, DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(kept.lines[0].text, u"&File && more");
}

TEST_F(LayoutTextTest, ExpandTabsToEightAverageCharacters) {
    const int stop = 8 * m_face->Metrics().aveCharWidth;
    auto r = Layout(u"ab\tcd\t", RECT{3, 0, 300, 50}, DT_SINGLELINE | DT_EXPANDTABS);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, u"ab");
    EXPECT_EQ(r.lines[1].text, u"cd");
    EXPECT_EQ(r.lines[1].x, 3 + stop);
    EXPECT_EQ(r.bounds.right - r.bounds.left, 2 * stop);
}

}  // namespace
