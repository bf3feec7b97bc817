#include "DirtyRegion.h"

#include <algorithm>
#include <utility>

#include "internal.h"

namespace orvi::display {

namespace {

bool Contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

// Touching counts: two abutting strips copy as cheaply as one.
bool OverlapsOrTouches(const RECT& a, const RECT& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

RECT Union(const RECT& a, const RECT& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

void DirtyRegion::Add(const RECT& area) {
    if (IsEmptyRect(area))
        return;
    RECT merged = area;
    // A merge can make the grown rectangle reach others, so rescan after each.
    for (size_t i = 0; i < m_rects.size();) {
        if (Contains(m_rects[i], merged))
            return;
        if (OverlapsOrTouches(m_rects[i], merged)) {
            merged = Union(m_rects[i], merged);
            m_rects.erase(m_rects.begin() + static_cast<std::ptrdiff_t>(i));
            i = 0;
            continue;
        }
        ++i;
    }
    m_rects.push_back(merged);
    if (m_rects.size() > kMaxRects) {
        RECT box = m_rects.front();
        for (const RECT& r : m_rects)
            box = Union(box, r);
        m_rects.assign(1, box);
    }
}

std::vector<RECT> DirtyRegion::Take() {
    return std::exchange(m_rects, {});
}

}  // namespace orvi::display
