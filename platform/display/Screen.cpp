// The screen's geometry and framebuffer, fixed once per process.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include "internal.h"
#include "kernel/internal.h"

namespace orvi::display {

namespace {

constexpr ScreenGeometry kDefaultGeometry{240, 320, 96};
constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr int kNavBarHeightAt96 = 26;

// Reads a decimal number up to `stop` (or the end); advances `text` past it.
std::optional<int> TakeNumber(std::string_view& text, char stop) {
    size_t end = stop ? text.find(stop) : text.size();
    if (end == std::string_view::npos)
        end = text.size();
    std::string_view digits = text.substr(0, end);
    int value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size())
        return std::nullopt;
    text.remove_prefix(end < text.size() ? end + 1 : end);
    return value;
}

ScreenGeometry ReadGeometry() {
    const char* text = std::getenv("ORVI_SCREEN");
    if (!text || !*text)
        return kDefaultGeometry;
    if (auto parsed = ParseScreenGeometry(text))
        return *parsed;
    kernel::Trace("display: ORVI_SCREEN=\"%s\" is not WxH@DPI; using %dx%d@%d", text,
                  kDefaultGeometry.width, kDefaultGeometry.height, kDefaultGeometry.dpi);
    return kDefaultGeometry;
}

}  // namespace

std::optional<ScreenGeometry> ParseScreenGeometry(std::string_view text) {
    const bool hasDpi = text.find('@') != std::string_view::npos;
    auto width = TakeNumber(text, 'x');
    auto height = TakeNumber(text, hasDpi ? '@' : '\0');
    std::optional<int> dpi = 96;
    if (hasDpi)
        dpi = TakeNumber(text, '\0');
    if (!width || !height || !dpi || !text.empty())
        return std::nullopt;
    // Bounds of any plausible handheld; they also keep width * height and
    // Scale() far from overflowing.
    if (*width < 32 || *width > 4096 || *height < 32 || *height > 4096 || *dpi < 48 || *dpi > 480)
        return std::nullopt;
    return ScreenGeometry{*width, *height, *dpi};
}

const ScreenGeometry& Geometry() {
    static const ScreenGeometry geometry = ReadGeometry();
    return geometry;
}

int Scale(int pixelsAt96) {
    const long long scaled = static_cast<long long>(pixelsAt96) * Geometry().dpi;
    // Rounds half away from zero, like MulDiv.
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

std::mutex& ScreenLock() {
    // Never destroyed: threads of the platform may still draw while the
    // process exits.
    static std::mutex* lock = new std::mutex;
    return *lock;
}

uint32_t* ScreenPixels() {
    static uint32_t* pixels = [] {
        const size_t count = static_cast<size_t>(Geometry().width) * Geometry().height;
        auto* buffer = new uint32_t[count];
        std::fill(buffer, buffer + count, kWhite);
        return buffer;
    }();
    return pixels;
}

RECT NavBarRect() {
    return {0, 0, Geometry().width, std::min(Scale(kNavBarHeightAt96), Geometry().height)};
}

RECT WorkArea() {
    return {0, NavBarRect().bottom, Geometry().width, Geometry().height};
}

bool IsEmptyRect(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT ClipToScreen(const RECT& area) {
    RECT r{std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0),
           std::min<LONG>(area.right, Geometry().width), std::min<LONG>(area.bottom, Geometry().height)};
    if (IsEmptyRect(r))
        return {0, 0, 0, 0};
    return r;
}

int HostWindowScale() {
    if (const char* text = std::getenv("ORVI_SCALE")) {
        std::string_view view(text);
        if (auto scale = TakeNumber(view, '\0'); scale && *scale >= 1 && *scale <= 8)
            return *scale;
        kernel::Trace("display: ORVI_SCALE=\"%s\" is not 1..8; ignored", text);
    }
    return Geometry().dpi >= 144 ? 1 : 2;
}

}  // namespace orvi::display
