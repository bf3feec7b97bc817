// Text entry points: where DrawTextW and ExtTextOutW put text, measured with
// GetTextExtentPoint32W. Opaque mode fills each text cell with the
// background colour, which shows exactly where a line was placed.
#include <cstring>

#include "GdiTestSupport.h"

using orvi::test::DibDc;

namespace {

constexpr COLORREF kCell = RGB(0, 200, 0);

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        LOGFONTW lf{};
        lf.lfHeight = -12;
        lf.lfWeight = FW_NORMAL;
        std::memcpy(lf.lfFaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
        m_font = CreateFontIndirectW(&lf);
        ASSERT_NE(m_font, nullptr);
        m_old = SelectObject(m_dib.Dc(), m_font);
        m_dib.Fill(RGB(255, 255, 255));
        SetBkMode(m_dib.Dc(), OPAQUE);
        SetBkColor(m_dib.Dc(), kCell);
        SetTextColor(m_dib.Dc(), RGB(0, 0, 0));
        ASSERT_TRUE(GetTextMetricsW(m_dib.Dc(), &m_tm));
    }
    void TearDown() override {
        SelectObject(m_dib.Dc(), m_old);
        EXPECT_TRUE(DeleteObject(m_font));
    }
    int Extent(const char16_t* text) {
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPoint32W(m_dib.Dc(), text,
                                          std::char_traits<char16_t>::length(text), &size));
        EXPECT_EQ(size.cy, m_tm.tmHeight);
        return size.cx;
    }
    // Bounding box of the cell-coloured pixels inside rows [top, bottom).
    RECT Cells(int top = 0, int bottom = 100) {
        RECT box{1000, 1000, -1, -1};
        for (int y = top; y < std::min(bottom, m_dib.Height()); ++y)
            for (int x = 0; x < m_dib.Width(); ++x)
                if (m_dib.Color(x, y) == kCell) {
                    box = {std::min(box.left, static_cast<LONG>(x)),
                           std::min(box.top, static_cast<LONG>(y)),
                           std::max(box.right, static_cast<LONG>(x + 1)),
                           std::max(box.bottom, static_cast<LONG>(y + 1))};
                }
        return box;
    }
    DibDc m_dib{240, 100};
    HFONT m_font = nullptr;
    HGDIOBJ m_old = nullptr;
    TEXTMETRICW m_tm{};
};

class DrawTextWTest : public TextTest {};
class ExtTextOutWTest : public TextTest {};
class GetTextExtentExPointWTest : public TextTest {};

}  // namespace

TEST_F(DrawTextWTest, CentredAndRightAlignedSingleLines) {
    const char16_t* text = u"Centre me";
    int w = Extent(text);
    RECT r{10, 0, 210, 40};
    // With DT_VCENTER or DT_BOTTOM the answer is the offset from the top to
    // the bottom of the text.
    int bottom = (40 - m_tm.tmHeight) / 2 + m_tm.tmHeight;
    EXPECT_EQ(DrawTextW(m_dib.Dc(), text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE), bottom);
    RECT cell = Cells();
    EXPECT_EQ(cell.left, 10 + (200 - w) / 2);
    EXPECT_EQ(cell.right, cell.left + w);
    EXPECT_EQ(cell.top, (40 - m_tm.tmHeight) / 2);
    EXPECT_EQ(cell.bottom, cell.top + m_tm.tmHeight);

    m_dib.Fill(RGB(255, 255, 255));
    EXPECT_EQ(DrawTextW(m_dib.Dc(), text, -1, &r, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE), 40);
    cell = Cells();
    EXPECT_EQ(cell.right, 210);
    EXPECT_EQ(cell.left, 210 - w);
    EXPECT_EQ(cell.bottom, 40);
}

TEST_F(DrawTextWTest, WordBreakAndCalcRect) {
    int line = Extent(u"abcd abcd");
    RECT r{0, 0, line + 2, 100};
    RECT calc = r;
    int height =
        DrawTextW(m_dib.Dc(), u"abcd abcd abcd abcd", -1, &calc, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(height, 2 * m_tm.tmHeight);
    EXPECT_EQ(calc.bottom, 2 * m_tm.tmHeight);
    EXPECT_EQ(calc.right, line);
    EXPECT_EQ(Cells().right, -1);  // DT_CALCRECT draws nothing

    EXPECT_EQ(DrawTextW(m_dib.Dc(), u"abcd abcd abcd abcd", -1, &r, DT_WORDBREAK),
              2 * m_tm.tmHeight);
    RECT first = Cells(0, m_tm.tmHeight), second = Cells(m_tm.tmHeight, 2 * m_tm.tmHeight);
    EXPECT_EQ(first.left, 0);
    EXPECT_EQ(first.right, line);
    EXPECT_EQ(second.left, 0);
    EXPECT_EQ(second.right, line);
    EXPECT_EQ(Cells(2 * m_tm.tmHeight).right, -1);
}

TEST_F(DrawTextWTest, EndEllipsisFitsTheRectangle) {
    const char16_t* text = u"abcdefghijklmnopqrstuvwxyz";
    int limit = Extent(u"abcdefghij");
    RECT r{0, 0, limit, 30};
    EXPECT_EQ(DrawTextW(m_dib.Dc(), text, -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP),
              m_tm.tmHeight);
    RECT cell = Cells();
    EXPECT_EQ(cell.left, 0);
    EXPECT_LE(cell.right, limit);
    EXPECT_GT(cell.right, limit / 2);

    // Without the ellipsis the line runs past the rectangle unless clipped.
    m_dib.Fill(RGB(255, 255, 255));
    DrawTextW(m_dib.Dc(), text, -1, &r, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_EQ(Cells().right, Extent(text));
    m_dib.Fill(RGB(255, 255, 255));
    DrawTextW(m_dib.Dc(), text, -1, &r, DT_SINGLELINE);
    EXPECT_EQ(Cells().right, limit);

    SetLastError(0);
    EXPECT_EQ(DrawTextW(m_dib.Dc(), text, -1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ExtTextOutWTest, AlignmentOpaqueRectangleAndClipping) {
    int w = Extent(u"Hello");
    SetTextAlign(m_dib.Dc(), TA_RIGHT | TA_BOTTOM);
    ASSERT_TRUE(ExtTextOutW(m_dib.Dc(), 100, 50, 0, nullptr, u"Hello", 5, nullptr));
    RECT cell = Cells();
    EXPECT_EQ(cell.right, 100);
    EXPECT_EQ(cell.left, 100 - w);
    EXPECT_EQ(cell.bottom, 50);
    SetTextAlign(m_dib.Dc(), TA_LEFT | TA_TOP);

    // ETO_OPAQUE fills the rectangle even in transparent mode; ink stays inside
    // an ETO_CLIPPED rectangle.
    m_dib.Fill(RGB(255, 255, 255));
    SetBkMode(m_dib.Dc(), TRANSPARENT);
    RECT box{20, 10, 30, 40};
    ASSERT_TRUE(
        ExtTextOutW(m_dib.Dc(), 20, 10, ETO_OPAQUE | ETO_CLIPPED, &box, u"WWWWWW", 6, nullptr));
    cell = Cells();
    EXPECT_EQ(cell.left, 20);
    EXPECT_EQ(cell.top, 10);
    EXPECT_EQ(cell.right, 30);
    EXPECT_EQ(cell.bottom, 40);
    int inkOutside = 0, inkInside = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 240; ++x) {
            COLORREF c = m_dib.Color(x, y);
            bool inside = x >= 20 && x < 30 && y >= 10 && y < 40;
            if (c != kCell && c != RGB(255, 255, 255))
                ++(inside ? inkInside : inkOutside);
        }
    EXPECT_GT(inkInside, 0);
    EXPECT_EQ(inkOutside, 0);
}

TEST_F(GetTextExtentExPointWTest, FitAndPrefixWidths) {
    int fit = -1;
    int dx[5] = {};
    SIZE size{};
    int three = Extent(u"abc");
    ASSERT_TRUE(GetTextExtentExPointW(m_dib.Dc(), u"abcde", 5, three, &fit, dx, &size));
    EXPECT_EQ(fit, 3);
    EXPECT_EQ(dx[2], three);
    EXPECT_EQ(size.cx, Extent(u"abcde"));

    WCHAR face[LF_FACESIZE] = {};
    int n = GetTextFaceW(m_dib.Dc(), LF_FACESIZE, face);
    EXPECT_EQ(n, GetTextFaceW(m_dib.Dc(), 0, nullptr));
    EXPECT_EQ(n, static_cast<int>(std::char_traits<char16_t>::length(face)) + 1);
    EXPECT_GT(n, 1);

    SetLastError(0);
    EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(GetTextExtentPoint32W(nullptr, u"a", 1, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
