#include "NavBar.h"

#include <ctime>
#include <string>

#include "gdi/ScreenDc.h"
#include "internal.h"
#include "kernel/internal.h"
#include "user/Input.h"
#include "wingdi.h"

namespace orvi::display {

namespace {

constexpr COLORREF kBarBackground = RGB(0x22, 0x2B, 0x38);
constexpr COLORREF kBarText = RGB(0xFF, 0xFF, 0xFF);
constexpr int kTextHeightAt96 = 13;
constexpr int kMarginAt96 = 4;

HFONT CreateBarFont() {
    LOGFONTW font{};
    font.lfHeight = -Scale(kTextHeightAt96);
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = ANTIALIASED_QUALITY;
    return CreateFontIndirectW(&font);
}

// The clock at the right edge, the caption in what is left, cut with an
// ellipsis rather than running under the clock.
void DrawTexts(HDC dc, const RECT& local, const std::u16string& caption, const std::u16string& clock) {
    const int margin = Scale(kMarginAt96);
    RECT clockArea{local.left + margin, local.top, local.right - margin, local.bottom};
    RECT measured = clockArea;
    DrawTextW(dc, clock.c_str(), -1, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    DrawTextW(dc, clock.c_str(), -1, &clockArea, DT_SINGLELINE | DT_NOPREFIX | DT_RIGHT | DT_VCENTER);
    RECT captionArea{local.left + margin, local.top,
                     clockArea.right - (measured.right - measured.left) - 2 * margin, local.bottom};
    if (!caption.empty() && captionArea.right > captionArea.left)
        DrawTextW(dc, caption.c_str(), -1, &captionArea,
                  DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);
}

}  // namespace

std::u16string ClockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::string text = std::to_string(local.tm_hour) + ':' + (local.tm_min < 10 ? "0" : "") +
                       std::to_string(local.tm_min);
    return std::u16string(text.begin(), text.end());
}

void NavBar::Update(bool captionChanged) {
    std::u16string clock = ClockText();
    if (!captionChanged && clock == m_clock)
        return;
    if (captionChanged)
        m_caption = user::ForegroundCaption();
    m_clock = std::move(clock);
    Draw();
}

std::chrono::steady_clock::time_point NavBar::NextClockChange() const {
    using namespace std::chrono;
    const auto sinceEpoch = system_clock::now().time_since_epoch();
    const auto intoMinute = sinceEpoch - duration_cast<minutes>(sinceEpoch);
    // A little past the boundary, so the clock reads the new minute.
    return steady_clock::now() + (minutes(1) - intoMinute) + milliseconds(50);
}

void NavBar::Draw() {
    const RECT bar = NavBarRect();
    HDC dc = gdi::CreateScreenDc(POINT{bar.left, bar.top}, {bar});
    if (!dc) {
        kernel::Trace("display: no screen DC for the navigation bar");
        return;
    }
    const RECT local{0, 0, bar.right - bar.left, bar.bottom - bar.top};
    HBRUSH background = CreateSolidBrush(kBarBackground);
    FillRect(dc, &local, background);
    DeleteObject(background);
    HFONT font = CreateBarFont();
    HGDIOBJ previousFont = SelectObject(dc, font);
    SetTextColor(dc, kBarText);
    SetBkMode(dc, TRANSPARENT);
    DrawTexts(dc, local, m_caption, m_clock);
    SelectObject(dc, previousFont);
    DeleteObject(font);
    gdi::DeleteScreenDc(dc);
}

}  // namespace orvi::display
