#include "gdi/TextLayout.h"

#include <algorithm>

namespace orvi::gdi {
namespace {

constexpr WCHAR kEllipsis[] = u"...";
constexpr int kEllipsisLength = 3;

// One laid-out line before placement: its characters and the pen position
// after each of them, relative to the line's start, tab stops applied.
struct Line {
    std::u16string text;
    std::vector<int> prefix;
    int Width() const { return prefix.empty() ? 0 : prefix.back(); }
};

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c < 0xE000; }

// '&' marks the next character as a mnemonic: the marker goes, "&&" leaves
// one '&'.
std::u16string RemovePrefixes(const WCHAR* text, int count) {
    std::u16string out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (text[i] == u'&') {
            if (i + 1 < count && text[i + 1] == u'&') {
                out.push_back(u'&');
                ++i;
            }
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

// CR, LF and CR LF end a paragraph; on a single line they show as nothing.
std::vector<std::u16string> SplitParagraphs(const std::u16string& text, bool singleLine) {
    std::vector<std::u16string> paragraphs(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const WCHAR c = text[i];
        if (c != u'\r' && c != u'\n') {
            paragraphs.back().push_back(c);
        } else if (!singleLine) {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            paragraphs.emplace_back();
        }
    }
    return paragraphs;
}

// Pen positions after each character; a tab (when tabStop > 0) moves the pen
// to the next multiple of tabStop.
void Measure(const FontFace& font, const std::u16string& text, int tabStop,
             std::vector<int>& prefix) {
    const size_t n = text.size();
    prefix.assign(n, 0);
    int pen = 0;
    for (size_t i = 0; i < n;) {
        size_t end = tabStop > 0 ? text.find(u'\t', i) : std::u16string::npos;
        end = std::min(end, n);
        if (end > i) {
            font.MeasurePrefixes(text.data() + i, static_cast<int>(end - i), &prefix[i]);
            for (size_t k = i; k < end; ++k) {
                prefix[k] += pen;
            }
            pen = prefix[end - 1];
        }
        if (end < n) {
            pen = (pen / tabStop + 1) * tabStop;
            prefix[end] = pen;
        }
        i = end + 1;
    }
}

// Where a line that overflows at `overflow` ends when no space can take the
// break: between characters, at least one character, never inside a pair.
size_t CharacterBreak(const std::u16string& text, size_t start, size_t overflow) {
    size_t end = std::max(overflow, start + 1);
    if (end < text.size() && IsLowSurrogate(text[end]) && IsHighSurrogate(text[end - 1])) {
        end = end - 1 > start ? end - 1 : end + 1;
    }
    return end;
}

// Greedy breaking at spaces. The spaces at a break belong to neither line.
void Wrap(const FontFace& font, const std::u16string& text, int maxWidth, int tabStop,
          std::vector<std::u16string>& lines) {
    std::vector<int> prefix;
    Measure(font, text, tabStop, prefix);
    size_t start = 0;
    do {
        const int base = start > 0 ? prefix[start - 1] : 0;
        size_t i = start;
        size_t spaceRun = 0;  // first space after a word, 0 = none yet
        for (; i < text.size(); ++i) {
            if (text[i] == u' ') {
                if (i > start && text[i - 1] != u' ') {
                    spaceRun = i;
                }
            } else if (prefix[i] - base > maxWidth) {
                break;
            }
        }
        if (i == text.size()) {
            lines.push_back(text.substr(start));
            return;
        }
        size_t end = spaceRun > start ? spaceRun : CharacterBreak(text, start, i);
        lines.push_back(text.substr(start, end - start));
        start = end;
        while (start < text.size() && text[start] == u' ') {
            ++start;
        }
    } while (start < text.size());
}

// Cuts the line so that it fits maxWidth with "..." after it. Unless forced
// (the text goes on below), a line that fits is left alone. When not even
// "..." fits, as many dots as fit remain.
void Ellipsise(const FontFace& font, Line& line, int maxWidth, bool force, int tabStop) {
    if (!force && line.Width() <= maxWidth) {
        return;
    }
    const int dots = font.MeasureWidth(kEllipsis, kEllipsisLength);
    size_t keep = line.text.size();
    while (keep > 0 && line.prefix[keep - 1] + dots > maxWidth) {
        --keep;
    }
    if (keep > 0 && IsHighSurrogate(line.text[keep - 1])) {
        --keep;
    }
    while (force && keep > 0 && line.text[keep - 1] == u' ') {
        --keep;
    }
    line.text.resize(keep);
    if (keep == 0 && dots > maxWidth) {
        std::vector<int> dotPrefix(kEllipsisLength);
        font.MeasurePrefixes(kEllipsis, kEllipsisLength, dotPrefix.data());
        int fit = 0;
        while (fit < kEllipsisLength && dotPrefix[fit] <= maxWidth) {
            ++fit;
        }
        line.text.append(kEllipsis, fit);
    } else {
        line.text.append(kEllipsis, kEllipsisLength);
    }
    Measure(font, line.text, tabStop, line.prefix);
}

// A line becomes one run, or one run per tab-separated part when tabs are
// expanded.
void Emit(const Line& line, int x, int y, bool splitAtTabs, std::vector<LaidOutLine>& out) {
    if (!splitAtTabs || line.text.find(u'\t') == std::u16string::npos) {
        out.push_back(LaidOutLine{line.text, x, y, line.Width()});
        return;
    }
    size_t start = 0;
    while (start <= line.text.size()) {
        const size_t end = std::min(line.text.find(u'\t', start), line.text.size());
        if (end > start) {
            const int before = start > 0 ? line.prefix[start - 1] : 0;
            out.push_back(LaidOutLine{line.text.substr(start, end - start), x + before, y,
                                      line.prefix[end - 1] - before});
        }
        start = end + 1;
    }
}

}  // namespace

namespace {

// How many lines the rectangle shows. A partly visible last line is kept
// (the caller clips it) unless DT_EDITCONTROL asks for whole lines only, or
// DT_WORDBREAK | DT_END_ELLIPSIS marks the last whole line as cut. The first
// line is always laid out.
size_t VisibleLines(UINT format, size_t total, int rectHeight, int lineHeight) {
    if ((format & (DT_SINGLELINE | DT_CALCRECT | DT_NOCLIP)) != 0 || total <= 1) {
        return total;
    }
    const bool wholeOnly = (format & DT_EDITCONTROL) != 0 ||
                           (format & (DT_WORDBREAK | DT_END_ELLIPSIS)) ==
                               (DT_WORDBREAK | DT_END_ELLIPSIS);
    const int height = std::max(rectHeight, 0);
    const size_t shown = wholeOnly ? height / lineHeight : (height + lineHeight - 1) / lineHeight;
    return std::clamp<size_t>(shown, 1, total);
}

int AlignedX(const RECT& rect, UINT format, int width) {
    if (format & DT_CENTER) {
        return rect.left + (rect.right - rect.left - width) / 2;
    }
    if (format & DT_RIGHT) {
        return rect.right - width;
    }
    return rect.left;
}

// The single line's offset from the top; vertical alignment has effect only
// on a single line and not when only measuring.
int VerticalOffset(const RECT& rect, UINT format, int lineHeight) {
    if ((format & DT_SINGLELINE) == 0 || (format & DT_CALCRECT) != 0) {
        return 0;
    }
    const int free = rect.bottom - rect.top - lineHeight;
    if (format & DT_VCENTER) {
        return free / 2;
    }
    return (format & DT_BOTTOM) ? free : 0;
}

std::vector<Line> BreakLines(const FontFace& font, const std::u16string& text, UINT format,
                             int maxWidth, int tabStop) {
    const bool singleLine = (format & DT_SINGLELINE) != 0;
    const bool wrap = !singleLine && (format & DT_WORDBREAK) != 0;
    std::vector<std::u16string> texts;
    for (std::u16string& paragraph : SplitParagraphs(text, singleLine)) {
        if (wrap) {
            Wrap(font, paragraph, maxWidth, tabStop, texts);
        } else {
            texts.push_back(std::move(paragraph));
        }
    }
    std::vector<Line> lines(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        lines[i].text = std::move(texts[i]);
        Measure(font, lines[i].text, tabStop, lines[i].prefix);
    }
    return lines;
}

}  // namespace

TextLayoutResult LayoutText(const FontFace& font, const WCHAR* text, int count, const RECT& rect,
                            UINT format) {
    if (!text) {
        count = 0;
    } else if (count < 0) {
        count = 0;
        while (text[count] != 0) {
            ++count;
        }
    }
    const FontMetrics& metrics = font.Metrics();
    const int lineHeight = std::max(
        1, metrics.height + ((format & DT_EXTERNALLEADING) ? metrics.externalLeading : 0));
    const int maxWidth = rect.right - rect.left;
    const int tabStop = (format & DT_EXPANDTABS) ? 8 * std::max(1, metrics.aveCharWidth) : 0;

    std::vector<Line> lines =
        BreakLines(font,
                   (format & DT_NOPREFIX) ? std::u16string(text, count) : RemovePrefixes(text, count),
                   format, maxWidth, tabStop);
    const size_t visible = VisibleLines(format, lines.size(), rect.bottom - rect.top, lineHeight);
    if (format & DT_END_ELLIPSIS) {
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
            if (visible < lines.size()) {
                Ellipsise(font, lines[visible - 1], maxWidth, true, tabStop);
            }
        } else {
            for (size_t i = 0; i < visible; ++i) {
                Ellipsise(font, lines[i], maxWidth, false, tabStop);
            }
        }
    }

    TextLayoutResult result{};
    const int offset = VerticalOffset(rect, format, lineHeight);
    int widest = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        widest = std::max(widest, lines[i].Width());
        if (i < visible) {
            const int y = rect.top + offset + static_cast<int>(i) * lineHeight;
            Emit(lines[i], AlignedX(rect, format, lines[i].Width()), y, tabStop > 0, result.lines);
        }
    }
    const int textHeight = static_cast<int>(lines.size()) * lineHeight;
    result.bounds = RECT{rect.left, rect.top, rect.left + widest, rect.top + textHeight};
    result.height = offset + textHeight;
    return result;
}

}  // namespace orvi::gdi
