// The GDI handle table, stock objects and system colour brushes.
#include <unordered_map>

#include "internal.h"

namespace orvi::gdi {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<GdiObject>> entries;
    // GDI handles live in their own range, apart from kernel handles and the
    // (HBRUSH)(COLOR_x + 1) values, and are never reused within a run.
    uintptr_t next = 0x40010000;
};

HandleTable& Table() {
    static auto* table = new HandleTable;  // lives until exit; threads may outlive main
    return *table;
}

std::shared_ptr<Brush> MakeStockBrush(COLORREF color, UINT style = BS_SOLID) {
    auto brush = std::make_shared<Brush>();
    brush->style = style;
    brush->color = color;
    brush->stock = true;
    return brush;
}

std::shared_ptr<Pen> MakeStockPen(COLORREF color, UINT style = PS_SOLID) {
    auto pen = std::make_shared<Pen>();
    pen->style = style;
    pen->color = color;
    pen->stock = true;
    return pen;
}

std::shared_ptr<Font> MakeStockFont(int points, int weight) {
    auto font = std::make_shared<Font>();
    // The height is scaled to the screen's dpi when the face is opened
    // (Font::Face), keeping this table free of the display.
    font->logFont.lfHeight = -(points * 96 + 36) / 72;
    font->logFont.lfWeight = weight;
    font->logFont.lfCharSet = DEFAULT_CHARSET;
    font->logFont.lfQuality = ANTIALIASED_QUALITY;
    font->stock = true;
    font->scaleToScreen = true;
    return font;
}

struct StockObjects {
    std::shared_ptr<GdiObject> objects[DEFAULT_GUI_FONT + 1];
    std::shared_ptr<Bitmap> bitmap;
    StockObjects() {
        objects[WHITE_BRUSH] = MakeStockBrush(RGB(255, 255, 255));
        objects[LTGRAY_BRUSH] = MakeStockBrush(RGB(192, 192, 192));
        objects[GRAY_BRUSH] = MakeStockBrush(RGB(128, 128, 128));
        objects[DKGRAY_BRUSH] = MakeStockBrush(RGB(64, 64, 64));
        objects[BLACK_BRUSH] = MakeStockBrush(RGB(0, 0, 0));
        objects[NULL_BRUSH] = MakeStockBrush(0, BS_NULL);
        objects[WHITE_PEN] = MakeStockPen(RGB(255, 255, 255));
        objects[BLACK_PEN] = MakeStockPen(RGB(0, 0, 0));
        objects[NULL_PEN] = MakeStockPen(0, PS_NULL);
        objects[SYSTEM_FONT] = MakeStockFont(9, FW_BOLD);
        objects[DEFAULT_GUI_FONT] = MakeStockFont(8, FW_NORMAL);
        for (auto& object : objects)
            if (object)
                InsertObject(object);
        bitmap = std::make_shared<Bitmap>(1, 1, true, false, false);
        bitmap->stock = true;
        InsertObject(bitmap);
    }
};

StockObjects& Stock() {
    static auto* stock = new StockObjects;
    return *stock;
}

}  // namespace

HGDIOBJ InsertObject(std::shared_ptr<GdiObject> object) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    object->handle = reinterpret_cast<HGDIOBJ>(value);
    table.entries.emplace(value, std::move(object));
    return reinterpret_cast<HGDIOBJ>(value);
}

std::shared_ptr<GdiObject> ReferenceObject(HGDIOBJ h) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<uintptr_t>(h));
    return it == table.entries.end() ? nullptr : it->second;
}

bool RemoveObject(HGDIOBJ h) {
    std::shared_ptr<GdiObject> object;  // released outside the lock
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<uintptr_t>(h));
    if (it == table.entries.end())
        return false;
    object = std::move(it->second);
    table.entries.erase(it);
    return true;
}

std::shared_ptr<GdiObject> StockObject(int index) {
    if (index < 0 || index > DEFAULT_GUI_FONT)
        return nullptr;
    return Stock().objects[index];
}

std::shared_ptr<Bitmap> DefaultBitmap() {
    return Stock().bitmap;
}

std::shared_ptr<Brush> SysColorBrush(int index) {
    constexpr int kCount = (COLOR_GRADIENTINACTIVECAPTION & ~SYS_COLOR_INDEX_FLAG) + 1;
    static auto* brushes = [] {
        auto* all = new std::vector<std::shared_ptr<Brush>>;
        for (int i = 0; i < kCount; ++i) {
            all->push_back(MakeStockBrush(GetSysColor(i)));
            InsertObject(all->back());
        }
        return all;
    }();
    index &= ~SYS_COLOR_INDEX_FLAG;
    return index >= 0 && index < kCount ? (*brushes)[index] : nullptr;
}

std::shared_ptr<Brush> ResolveBrush(HBRUSH hbr) {
    auto value = reinterpret_cast<uintptr_t>(hbr);
    uintptr_t index = value & ~uintptr_t(SYS_COLOR_INDEX_FLAG);
    if (value != 0 && index >= 1 && index <= 29 &&
        (value == index || value == (index | SYS_COLOR_INDEX_FLAG)))
        return SysColorBrush(static_cast<int>(index - 1));
    return ReferenceAs<Brush>(hbr, GdiType::Brush);
}

}  // namespace orvi::gdi

HGDIOBJ GetStockObject(int fnObject) {
    auto object = orvi::gdi::StockObject(fnObject);
    if (!object) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return object->handle;
}

HBRUSH GetSysColorBrush(int nIndex) {
    auto brush = orvi::gdi::SysColorBrush(nIndex);
    if (!brush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return reinterpret_cast<HBRUSH>(brush->handle);
}
