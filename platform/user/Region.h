// A set of pixels kept as non-overlapping rectangles: update regions and
// the visible parts of windows. Small by nature (a handful of rectangles),
// so the operations are plain loops.
#pragma once

#include <vector>

#include "wintypes.h"

namespace orvi::user {

class Region {
public:
    Region() = default;
    explicit Region(const RECT& r) { Add(r); }

    bool Empty() const { return m_rects.empty(); }
    const std::vector<RECT>& Rects() const { return m_rects; }
    // Bounding rectangle; all zero when empty.
    RECT Bounds() const;

    void Add(const RECT& r);
    void Add(const Region& other);
    void Subtract(const RECT& r);
    void Intersect(const RECT& r);
    void Intersect(const Region& other);
    void Offset(int dx, int dy);
    void Clear() { m_rects.clear(); }

    static bool IsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
    static RECT Intersection(const RECT& a, const RECT& b);

private:
    std::vector<RECT> m_rects;
};

}  // namespace orvi::user
