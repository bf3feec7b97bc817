// Internal functions and objects shared by the GDI area's API files. Nothing
// outside platform/ includes this header.
//
// Pixels everywhere are 32-bit 0x00RRGGBB words (the top byte is the alpha
// of a DIB section). Monochrome bitmaps keep one word per pixel too, holding
// only 0x000000 (bit 0) or 0xFFFFFF (bit 1), so the raster operations work on
// both kinds unchanged and only the blits between kinds convert.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "gdi/FontEngine.h"
#include "kernelapi.h"
#include "wingdi.h"

namespace orvi::gdi {

enum class GdiType { Dc, Bitmap, Brush, Pen, Font, Region, Icon };

// Every GDI handle refers to one of these. The table holds a shared
// reference, so a call that looked an object up may keep using it while
// another thread deletes the handle.
struct GdiObject {
    explicit GdiObject(GdiType t) : type(t) {}
    virtual ~GdiObject() = default;
    const GdiType type;
    HGDIOBJ handle = nullptr;  // set once by InsertObject
    bool stock = false;        // never deleted; may be selected into many DCs
    // Number of DCs that have the object selected; DeleteObject refuses while
    // it is not zero, and a bitmap may be selected into one DC only.
    std::atomic<int> selections{0};
};

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kRgbMask = 0x00FFFFFF;

inline uint32_t PixelFromColor(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ColorFromPixel(uint32_t p) {
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}
// The nearest of black and white, as a colour written to a monochrome
// surface becomes.
inline uint32_t MonoFromPixel(uint32_t p) {
    uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    return (r * 30 + g * 59 + b * 11) >= 12800 ? kWhite : 0;
}

// A view of pixels: row y starts at top + y * stride (stride < 0 for a
// bottom-up DIB section).
struct Surface {
    uint32_t* top = nullptr;
    ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    bool mono = false;
    uint32_t* Row(int y) const { return top + y * stride; }
};

struct Bitmap : GdiObject {
    Bitmap(int w, int h, bool isMono, bool isDib, bool isBottomUp);
    const int width;
    const int height;
    const bool mono;
    const bool dib;
    const bool bottomUp;
    std::vector<uint32_t> pixels;  // storage order: bottom-up DIBs store the bottom row first
    Surface View();
};

struct Brush : GdiObject {
    Brush() : GdiObject(GdiType::Brush) {}
    UINT style = BS_SOLID;
    COLORREF color = 0;
    // Pattern brushes: a copy of the bitmap, mono in the 0/0xFFFFFF form.
    std::vector<uint32_t> pattern;
    int patternWidth = 0;
    int patternHeight = 0;
    bool patternMono = false;
};

struct Pen : GdiObject {
    Pen() : GdiObject(GdiType::Pen) {}
    UINT style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct Font : GdiObject {
    Font() : GdiObject(GdiType::Font) {}
    LOGFONTW logFont{};
    // Stock fonts are described at 96 dpi and scaled to the screen once.
    bool scaleToScreen = false;
    // Opened on first use for stock fonts, so programs that never draw text
    // never start fontconfig.
    std::shared_ptr<const FontFace> Face();
    std::shared_ptr<const FontFace> face;
    std::once_flag opened;
};

struct Region : GdiObject {
    Region() : GdiObject(GdiType::Region) {}
    RECT rect{};
};

struct Icon : GdiObject {
    Icon() : GdiObject(GdiType::Icon) {}
    int width = 0;
    int height = 0;
    BOOL isIcon = TRUE;
    DWORD xHotspot = 0;
    DWORD yHotspot = 0;
    std::vector<uint32_t> mask;   // 0/0xFFFFFF, top-down
    std::vector<uint32_t> color;  // top-down; the XOR image (0/0xFFFFFF) of a monochrome icon
    bool monochrome = false;
};

// How a screen DC reaches the screen; memory DCs have none. Kept behind a
// table of functions so that drawing code does not depend on the display.
struct ScreenAccess {
    std::mutex& (*lock)();
    uint32_t* (*pixels)();
    void (*markDirty)(const RECT& area);
    int width;
    int height;
};

struct DcState {
    std::shared_ptr<Bitmap> bitmap;  // memory DCs only
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Font> font;
    COLORREF textColor = 0;
    COLORREF bkColor = 0x00FFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int stretchMode = BLACKONWHITE;
    POINT brushOrg{0, 0};
    POINT penPos{0, 0};
    std::optional<RECT> userClip;  // device coordinates
};

// A DC is used by one thread at a time as on the device, but its lock makes
// a window system that narrows a screen DC's visible area from another
// thread safe. Lock order: DC locks (std::lock for two), then ScreenLock.
struct Dc : GdiObject {
    Dc() : GdiObject(GdiType::Dc) {}
    std::mutex lock;
    const ScreenAccess* screen = nullptr;
    POINT origin{0, 0};         // device position of logical (0, 0)
    std::vector<RECT> visible;  // screen DCs: device rectangles drawn into
    DcState state;
    std::vector<DcState> saved;  // SaveDC stack
};

// ---- rectangles (right and bottom excluded) ---------------------------------
inline bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
inline RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? RECT{0, 0, 0, 0} : r;
}
inline RECT Offset(RECT r, POINT by) {
    return {r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y};
}

// ---- handle table ------------------------------------------------------------
HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> ReferenceObject(HGDIOBJ h);
// Sets ERROR_INVALID_HANDLE and returns null when h is not a live object of the type.
template <class T>
std::shared_ptr<T> ReferenceAs(const void* h, GdiType type) {
    auto object = ReferenceObject(reinterpret_cast<HGDIOBJ>(const_cast<void*>(h)));
    if (!object || object->type != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
inline std::shared_ptr<Dc> ReferenceDc(HDC hdc) {
    return ReferenceAs<Dc>(hdc, GdiType::Dc);
}
bool RemoveObject(HGDIOBJ h);
std::shared_ptr<GdiObject> StockObject(int index);
std::shared_ptr<Bitmap> DefaultBitmap();  // the 1x1 monochrome bitmap of a new memory DC
// A system colour brush for a (HBRUSH)(COLOR_x + 1) value or a real brush
// handle; null (ERROR_INVALID_HANDLE) for neither.
std::shared_ptr<Brush> ResolveBrush(HBRUSH hbr);
std::shared_ptr<Brush> SysColorBrush(int index);

// Creates a DC that draws on a screen through `access`. Used by the screen
// DCs and by tests with a screen of their own.
HDC CreateDcOnScreen(const ScreenAccess* access, POINT origin, std::vector<RECT> visible);
// Deletes a memory DC (screen = false) or a screen DC; false for any other handle.
bool DeleteDcObject(HDC hdc, bool screen);
// Puts a new state's selections in place, counting selections.
void ReplaceState(Dc& dc, DcState next);

// ---- text ----------------------------------------------------------------------
std::shared_ptr<Font> CurrentFont(Dc& dc);

// ---- conversions shared by icons and bitmaps ---------------------------------------
std::shared_ptr<Bitmap> NewBitmap(int width, int height, bool mono);
std::vector<uint32_t> CopyPixels(Bitmap& bitmap);  // top-down
// GetObjectW's answers for bitmaps and fonts.
int GetBitmapObject(Bitmap& bitmap, int cb, void* out);
LOGFONTW LogFontOf(const Font& font);
// Narrows a DC's clip to a device rectangle (null: removes the clip) and
// answers the region type; the DC is locked by the caller.
int SetUserClip(Dc& dc, const RECT* deviceRect, bool intersect);

}  // namespace orvi::gdi
