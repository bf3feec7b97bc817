// Drawing sessions: locking, targets and dirty areas.
#include "DrawSession.h"

namespace orvi::gdi {
namespace {

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a))
        return b;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

Target MakeTarget(Dc& dc) {
    Target t;
    RECT bounds;
    if (dc.screen) {
        t.surface = {dc.screen->pixels(), dc.screen->width, dc.screen->width, dc.screen->height,
                     false};
        t.offset = dc.origin;
        t.screen = true;
        bounds = {0, 0, dc.screen->width, dc.screen->height};
        for (const RECT& r : dc.visible)
            t.clips.push_back(Intersect(r, bounds));
    } else {
        t.surface = dc.state.bitmap->View();
        bounds = {0, 0, t.surface.width, t.surface.height};
        // The 1x1 bitmap of new memory DCs is shared by all of them: drawing
        // into it is discarded instead of racing between threads.
        if (!dc.state.bitmap->stock)
            t.clips.push_back(bounds);
    }
    for (RECT& r : t.clips)
        if (dc.state.userClip)
            r = Intersect(r, *dc.state.userClip);
    std::erase_if(t.clips, [](const RECT& r) { return IsEmpty(r); });
    return t;
}

RECT Target::ClipBox() const {
    RECT box{0, 0, 0, 0};
    for (const RECT& r : clips)
        box = Union(box, r);
    return box;
}

DrawSession::DrawSession(Dc& dst) : m_dstDc(dst) {
    Lock(dst, nullptr);
}

DrawSession::DrawSession(Dc& dst, Dc& src) : m_dstDc(dst) {
    Lock(dst, &src);
}

void DrawSession::Lock(Dc& dst, Dc* src) {
    m_dstLock = std::unique_lock(dst.lock, std::defer_lock);
    if (src && src != &dst) {
        m_srcLock = std::unique_lock(src->lock, std::defer_lock);
        std::lock(m_dstLock, m_srcLock);
    } else {
        m_dstLock.lock();
    }
    const ScreenAccess* screen = dst.screen ? dst.screen : src ? src->screen : nullptr;
    if (screen)
        m_screenLock = std::unique_lock(screen->lock());
    m_dst = MakeTarget(dst);
    m_src = src && src != &dst ? MakeTarget(*src) : m_dst;
}

void DrawSession::Touch(const RECT& deviceArea) {
    m_dirty = Union(m_dirty, deviceArea);
}

DrawSession::~DrawSession() {
    if (m_dstDc.screen && !IsEmpty(m_dirty))
        m_dstDc.screen->markDirty(m_dirty);
}

}  // namespace orvi::gdi
