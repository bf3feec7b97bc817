// Update regions, WM_PAINT generation, what of a window is visible, and the
// repainting of whatever a change uncovers.
#include <functional>

#include "display/Display.h"
#include "gdi/ScreenDc.h"
#include "internal.h"

namespace orvi::user {
namespace {

RECT Offset(RECT r, int dx, int dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// Pre-order walk of the tree (parents before children) in z-order.
bool WalkLocked(const std::vector<HWND>& list, const std::function<bool(Window&)>& visit) {
    for (HWND h : list) {
        Window* w = FindLocked(h);
        if (!w)
            continue;
        if (visit(*w) || WalkLocked(w->children, visit))
            return true;
    }
    return false;
}

void ExposeTreeLocked(Window& w, const RECT& area, HWND except) {
    if (w.hwnd == except || !(w.style & WS_VISIBLE))
        return;
    RECT client = ClientScreenRectLocked(w);
    RECT part = Region::Intersection(area, WindowScreenRectLocked(w));
    if (Region::IsEmpty(part))
        return;
    RECT local = Offset(part, -client.left, -client.top);
    InvalidateLocked(w, &local, true);
    for (HWND child : w.children)
        if (Window* c = FindLocked(child))
            ExposeTreeLocked(*c, area, except);
}

// Bare desktop is painted here because no window owns it.
void FillDesktop(const std::vector<RECT>& rects) {
    if (rects.empty())
        return;
    HDC hdc = gdi::CreateScreenDc(POINT{0, 0}, rects);
    if (!hdc)
        return;
    HBRUSH brush = GetSysColorBrush(COLOR_DESKTOP);
    for (const RECT& r : rects)
        FillRect(hdc, &r, brush);
    gdi::DeleteScreenDc(hdc);
}

RECT ScreenRect() {
    const auto& g = display::Geometry();
    return RECT{0, 0, g.width, g.height};
}

}  // namespace

void InvalidateLocked(Window& w, const RECT* area, bool erase) {
    RECT client = ClientRectLocked(w);
    RECT r = area ? Region::Intersection(*area, client) : client;
    if (Region::IsEmpty(r))
        return;
    w.update.Add(r);
    w.erasePending = w.erasePending || erase;
    WakeOwnerLocked(w);
    if (w.style & WS_CLIPCHILDREN)
        return;
    // A parent that does not clip its children paints over them, so they
    // have to paint again afterwards.
    RECT origin = ClientScreenRectLocked(w);
    for (HWND child : w.children) {
        Window* c = FindLocked(child);
        if (!c || !(c->style & WS_VISIBLE))
            continue;
        RECT cc = ClientScreenRectLocked(*c);
        RECT part = Region::Intersection(Offset(r, origin.left, origin.top), WindowScreenRectLocked(*c));
        if (Region::IsEmpty(part))
            continue;
        RECT local = Offset(part, -cc.left, -cc.top);
        InvalidateLocked(*c, &local, erase);
    }
}

void ValidateLocked(Window& w, const RECT* area) {
    if (area)
        w.update.Subtract(*area);
    else
        w.update.Clear();
    if (w.update.Empty())
        w.erasePending = false;
}

bool NeedsPaintLocked(const Window& w) { return !w.update.Empty() && IsShownLocked(w); }

bool TakePaintLocked(DWORD threadId, const kernel::MessageFilter& filter, MSG* msg) {
    return WalkLocked(TopLevelLocked(), [&](Window& w) {
        if (w.threadId != threadId || !NeedsPaintLocked(w))
            return false;
        MSG candidate{w.hwnd, WM_PAINT, 0, 0, GetTickCount(), {0, 0}};
        if (!filter.Matches(candidate))
            return false;
        *msg = candidate;
        return true;
    });
}

Region VisibleRegionLocked(const Window& w, bool client) {
    if (!IsShownLocked(w))
        return Region();
    Region region(client ? ClientScreenRectLocked(w) : WindowScreenRectLocked(w));
    region.Intersect(ScreenRect());
    region.Subtract(display::NavBarRect());
    for (Window* p = FindLocked(w.parent); p; p = FindLocked(p->parent))
        region.Intersect(ClientScreenRectLocked(*p));
    // Top-level windows above this one's top-level window always cover it.
    HWND top = TopLevelOfLocked(w.hwnd);
    for (HWND h : TopLevelLocked()) {
        if (h == top)
            break;
        if (Window* t = FindLocked(h); t && (t->style & WS_VISIBLE))
            region.Subtract(WindowScreenRectLocked(*t));
    }
    for (const Window* c = &w; c && c->parent; c = FindLocked(c->parent)) {
        if (!(c->style & WS_CLIPSIBLINGS))
            continue;
        for (HWND s : SiblingsLocked(*c)) {
            if (s == c->hwnd)
                break;
            if (Window* sib = FindLocked(s); sib && (sib->style & WS_VISIBLE))
                region.Subtract(WindowScreenRectLocked(*sib));
        }
    }
    if (client && (w.style & WS_CLIPCHILDREN))
        for (HWND child : w.children)
            if (Window* c = FindLocked(child); c && (c->style & WS_VISIBLE))
                region.Subtract(WindowScreenRectLocked(*c));
    return region;
}

void ExposeScreenArea(const RECT& area, HWND except) {
    std::vector<RECT> bare;
    {
        std::lock_guard guard(TreeLock());
        for (HWND h : TopLevelLocked())
            if (Window* t = FindLocked(h))
                ExposeTreeLocked(*t, area, except);
        Region desktop(Region::Intersection(area, ScreenRect()));
        desktop.Subtract(display::NavBarRect());
        for (HWND h : TopLevelLocked())
            if (Window* t = FindLocked(h); t && (t->style & WS_VISIBLE))
                desktop.Subtract(WindowScreenRectLocked(*t));
        bare = desktop.Rects();
    }
    FillDesktop(bare);
}

LRESULT DefEraseBackground(HWND hwnd, HDC hdc) {
    HBRUSH brush = nullptr;
    RECT client{};
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return 0;
        brush = w->cls->info.hbrBackground;
        client = ClientRectLocked(*w);
    }
    if (!brush)
        return 0;
    FillRect(hdc, &client, brush);
    return 1;
}

}  // namespace orvi::user
