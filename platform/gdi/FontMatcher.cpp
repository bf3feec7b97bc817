#include "gdi/FontMatcher.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "kernel/internal.h"

namespace orvi::gdi {
namespace {

constexpr const char* kDefaultFamily = "DejaVu Sans";

std::mutex& FontconfigLock() {
    static std::mutex lock;
    return lock;
}

// Called under FontconfigLock.
bool EnsureFontconfig() {
    static const bool s_ready = FcInit() == FcTrue;
    return s_ready;
}

std::string FaceNameOf(const LOGFONTW& font) {
    size_t length = 0;
    while (length < LF_FACESIZE && font.lfFaceName[length] != 0) {
        ++length;
    }
    return kernel::Utf16ToUtf8(std::u16string_view(font.lfFaceName, length));
}

bool IsGenericFamily(const std::string& name) {
    for (const char* generic : {"sans-serif", "sans", "serif", "monospace", "mono"}) {
        if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(name.c_str()),
                               reinterpret_cast<const FcChar8*>(generic)) == 0) {
            return true;
        }
    }
    return false;
}

// Runs the match for a prepared pattern (which it takes over) and fills
// `match`. The family reported is `wanted` when the face answers to it, else
// the face's first family; `answersToWanted` says which.
bool RunMatch(FcPattern* pattern, const std::string& wanted, FontMatch& match,
              bool* answersToWanted) {
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!found) {
        return false;
    }
    FcChar8* file = nullptr;
    bool ok = FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch;
    if (ok) {
        match.file = reinterpret_cast<const char*>(file);
        int value = 0;
        match.index = FcPatternGetInteger(found, FC_INDEX, 0, &value) == FcResultMatch ? value : 0;
        *answersToWanted = false;
        FcChar8* family = nullptr;
        std::string reported;
        for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
            if (i == 0) {
                reported = reinterpret_cast<const char*>(family);
            }
            if (!wanted.empty() &&
                FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(wanted.c_str())) == 0) {
                reported = reinterpret_cast<const char*>(family);
                *answersToWanted = true;
                break;
            }
        }
        match.family = kernel::Utf8ToUtf16(reported);
    }
    FcPatternDestroy(found);
    return ok;
}

FcPattern* StylePattern(const std::string& family, const LOGFONTW& font) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    const int weight = font.lfWeight <= 0 ? FW_NORMAL : std::min<int>(font.lfWeight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, font.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    return pattern;
}

struct FallbackCandidate {
    std::string file;
    int index;
    FcCharSet* charset;  // a reference held for the process's life
};

// The installed faces in fontconfig's order of preference for a family,
// listed once per family so that looking up a missing character costs a few
// charset probes instead of a match. Called under FontconfigLock.
const std::vector<FallbackCandidate>& FallbacksFor(const std::string& family) {
    static auto* s_lists = new std::map<std::string, std::vector<FallbackCandidate>>;
    auto [it, inserted] = s_lists->try_emplace(family);
    if (!inserted) {
        return it->second;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    FcPatternDestroy(pattern);
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
        FcChar8* file = nullptr;
        FcCharSet* charset = nullptr;
        int index = 0;
        if (FcPatternGetString(sorted->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch) {
            FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &index);
            it->second.push_back(FallbackCandidate{reinterpret_cast<const char*>(file), index,
                                                   FcCharSetCopy(charset)});
        }
    }
    if (sorted) {
        FcFontSetDestroy(sorted);
    }
    return it->second;
}

}  // namespace

bool MatchFont(const LOGFONTW& font, FontMatch& match) {
    std::lock_guard lock(FontconfigLock());
    if (!EnsureFontconfig()) {
        kernel::Trace("fonts: fontconfig cannot be initialised");
        return false;
    }
    std::string family = FaceNameOf(font);
    if (family.empty()) {
        family = kDefaultFamily;
    }
    bool answers = false;
    if (!RunMatch(StylePattern(family, font), family, match, &answers)) {
        return false;
    }
    if (answers || IsGenericFamily(family) || family == kDefaultFamily) {
        return true;
    }
    // fontconfig substitutes its own idea of a default for an unknown name;
    // the device's default face is DejaVu Sans.
    kernel::Trace("fonts: no face \"%s\", using %s", family.c_str(), kDefaultFamily);
    return RunMatch(StylePattern(kDefaultFamily, font), kDefaultFamily, match, &answers);
}

bool MatchFontForChar(const std::u16string& family, char32_t codePoint, FontMatch& match) {
    std::lock_guard lock(FontconfigLock());
    if (!EnsureFontconfig()) {
        return false;
    }
    for (const FallbackCandidate& candidate : FallbacksFor(kernel::Utf16ToUtf8(family))) {
        if (FcCharSetHasChar(candidate.charset, codePoint)) {
            match.file = candidate.file;
            match.index = candidate.index;
            return true;
        }
    }
    return false;
}

}  // namespace orvi::gdi

#if defined(__SANITIZE_ADDRESS__)
// fontconfig loses a few hundred bytes once while parsing its configuration
// (inside FcInit, beyond our reach). This file is linked whenever fonts are
// used, so the suppression lives here; weak, so that a program-wide list can
// replace it.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif
