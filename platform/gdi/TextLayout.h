// DrawTextW's layout, separate from drawing: where each line of a text lands
// inside a rectangle for a format, as the device lays it out.
#pragma once

#include <string>
#include <vector>

#include "FontEngine.h"

namespace orvi::gdi {

struct LaidOutLine {
    std::u16string text;  // what to draw: ellipsised lines carry the "..."
    int x;  // left of the run, in the caller's coordinates
    int y;  // top of the line's cell
    int width;
};

struct TextLayoutResult {
    std::vector<LaidOutLine> lines;
    // The rectangle the text needs (DT_CALCRECT's answer): the input rect's
    // left/top with the width and height of the laid-out text.
    RECT bounds;
    // The height DrawTextW returns.
    int height;
};

// Lays out count characters (count -1: up to the terminator) in rect for a
// DT_* format, as DrawTextW draws them:
// - '&' marks a mnemonic and is removed, "&&" leaves one '&' (not with
//   DT_NOPREFIX). No underline is drawn.
// - CR, LF and CR LF end a line; with DT_SINGLELINE they show as nothing.
//   An empty text is one empty line.
// - DT_WORDBREAK breaks at spaces; the spaces at a break belong to neither
//   line, so they do not count to a line's width. A word longer than the
//   rectangle's width is broken between characters (never inside a
//   surrogate pair).
// - DT_LEFT/DT_CENTER/DT_RIGHT place each line by its measured width;
//   DT_VCENTER and DT_BOTTOM have effect only with DT_SINGLELINE.
// - DT_EXPANDTABS: tab stops every 8 average character widths; a line with
//   tabs is handed over as one run per tab-separated part (same y). Without
//   it a tab takes no room.
// - Lines below the rectangle are not laid out; a partly visible last line
//   is (the caller clips it) unless DT_EDITCONTROL asks for whole lines
//   only, as an edit control shows them. The first line is always laid out.
//   DT_CALCRECT and DT_NOCLIP lay out every line.
// - DT_END_ELLIPSIS: without DT_WORDBREAK, every line wider than the
//   rectangle is cut so that it ends in "..." and fits. With DT_WORDBREAK,
//   when the text goes on below the rectangle, the last whole visible line
//   ends in "..." (partly visible lines are dropped as with DT_EDITCONTROL).
//   When not even "..." fits, as many dots as fit remain.
// - DT_EXTERNALLEADING adds the font's external leading to the line height.
// bounds and height count every line of the text, visible or not; with
// DT_SINGLELINE | DT_VCENTER or DT_BOTTOM (and no DT_CALCRECT) the height
// includes the offset from rect.top, the number DrawTextW returns.
// Pure: no DC, no drawing; thread-safe as the face is.
TextLayoutResult LayoutText(const FontFace& font, const WCHAR* text, int count, const RECT& rect,
                            UINT format);

}  // namespace orvi::gdi
