// OpenFont: the process's face cache in front of fontconfig and FreeType.
#include "gdi/FontEngine.h"

#include <cstring>
#include <map>
#include <mutex>

#include "display/Display.h"
#include "gdi/FontMatcher.h"
#include "gdi/FreeTypeFace.h"
#include "kernel/internal.h"

namespace orvi::gdi {
namespace {

// Faces are kept while unused so that a program creating and deleting the
// same font on every paint does not rasterise its glyphs again; past this
// many, faces nobody holds are dropped.
constexpr size_t kCacheSoftLimit = 64;

struct FaceCache {
    std::mutex lock;
    std::map<std::u16string, std::shared_ptr<const FontFace>> faces;
};

// Never destroyed: threads may still draw text while the process exits.
FaceCache& Cache() {
    static auto* cache = new FaceCache;
    return *cache;
}

// Two LOGFONTWs that differ only in what the engine ignores (escapement,
// charset, precision, quality, pitch, bytes after the name's terminator,
// the case of the name) share a face.
std::u16string CacheKey(const LOGFONTW& font) {
    const LONG numbers[] = {font.lfHeight, font.lfWidth, font.lfWeight, font.lfItalic ? 1 : 0,
                            font.lfUnderline ? 1 : 0, font.lfStrikeOut ? 1 : 0};
    std::u16string key(sizeof(numbers) / (sizeof(char16_t)), u'\0');
    std::memcpy(key.data(), numbers, sizeof(numbers));
    for (int i = 0; i < LF_FACESIZE && font.lfFaceName[i] != 0; ++i) {
        const WCHAR c = font.lfFaceName[i];
        key.push_back(c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + (u'a' - u'A')) : c);
    }
    return key;
}

void DropUnusedFaces(FaceCache& cache) {
    for (auto it = cache.faces.begin(); it != cache.faces.end();) {
        it = it->second.use_count() == 1 ? cache.faces.erase(it) : std::next(it);
    }
}

std::shared_ptr<const FontFace> CreateFace(const LOGFONTW& font) {
    FontMatch match;
    if (!MatchFont(font, match)) {
        kernel::Trace("fonts: no installed font matches");
        return nullptr;
    }
    return FreeTypeFace::Open(font, match, display::Geometry().dpi);
}

}  // namespace

std::shared_ptr<const FontFace> OpenFont(const LOGFONTW& font) {
    FaceCache& cache = Cache();
    const std::u16string key = CacheKey(font);
    {
        std::lock_guard lock(cache.lock);
        auto it = cache.faces.find(key);
        if (it != cache.faces.end()) {
            return it->second;
        }
    }
    // Opening takes milliseconds; other fonts stay available meanwhile. When
    // two threads open the same font at once, the first one stored wins.
    std::shared_ptr<const FontFace> face = CreateFace(font);
    if (!face) {
        return nullptr;
    }
    std::lock_guard lock(cache.lock);
    if (cache.faces.size() >= kCacheSoftLimit) {
        DropUnusedFaces(cache);
    }
    return cache.faces.try_emplace(key, std::move(face)).first->second;
}

}  // namespace orvi::gdi
