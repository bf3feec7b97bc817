// Font selection through fontconfig: which installed file serves a LOGFONTW,
// and which one holds a character the chosen face lacks.
//
// Thread-safe: fontconfig is called under one process-wide lock. Matching is
// slow (milliseconds), so callers cache what it returns.
#pragma once

#include <string>

#include "wingdi.h"

namespace orvi::gdi {

struct FontMatch {
    std::string file;  // host path of the font file
    int index = 0;     // face index inside the file
    std::u16string family;  // the family name the face answers to
};

// The face for a LOGFONTW's name, weight and slant. An empty name, or one
// that no installed family answers to, gives DejaVu Sans; the generic names
// "sans-serif", "serif" and "monospace" are resolved by fontconfig. False only
// when no font at all can be matched.
bool MatchFont(const LOGFONTW& font, FontMatch& match);

// A face that has a glyph for the code point, in fontconfig's order of
// preference for `family`; false when no installed font covers it. Cheap
// after the first call for a family.
bool MatchFontForChar(const std::u16string& family, char32_t codePoint, FontMatch& match);

}  // namespace orvi::gdi
