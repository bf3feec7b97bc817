// Rectangle-list arithmetic.
#include "Region.h"

#include <algorithm>

namespace orvi::user {
namespace {

// Appends the parts of r outside cut (at most four bands).
void AppendDifference(const RECT& r, const RECT& cut, std::vector<RECT>& out) {
    RECT c = Region::Intersection(r, cut);
    if (Region::IsEmpty(c)) {
        out.push_back(r);
        return;
    }
    if (r.top < c.top)
        out.push_back({r.left, r.top, r.right, c.top});
    if (c.bottom < r.bottom)
        out.push_back({r.left, c.bottom, r.right, r.bottom});
    if (r.left < c.left)
        out.push_back({r.left, c.top, c.left, c.bottom});
    if (c.right < r.right)
        out.push_back({c.right, c.top, r.right, c.bottom});
}

}  // namespace

RECT Region::Intersection(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (IsEmpty(r))
        return RECT{0, 0, 0, 0};
    return r;
}

RECT Region::Bounds() const {
    if (m_rects.empty())
        return RECT{0, 0, 0, 0};
    RECT b = m_rects.front();
    for (const RECT& r : m_rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

void Region::Add(const RECT& r) {
    if (IsEmpty(r))
        return;
    // Keep the rectangles disjoint: add only the parts not yet covered.
    std::vector<RECT> pieces{r};
    for (const RECT& have : m_rects) {
        std::vector<RECT> next;
        for (const RECT& p : pieces)
            AppendDifference(p, have, next);
        pieces.swap(next);
        if (pieces.empty())
            return;
    }
    m_rects.insert(m_rects.end(), pieces.begin(), pieces.end());
}

void Region::Add(const Region& other) {
    for (const RECT& r : other.m_rects)
        Add(r);
}

void Region::Subtract(const RECT& r) {
    if (IsEmpty(r))
        return;
    std::vector<RECT> next;
    for (const RECT& have : m_rects)
        AppendDifference(have, r, next);
    m_rects.swap(next);
}

void Region::Intersect(const RECT& r) {
    std::vector<RECT> next;
    for (const RECT& have : m_rects) {
        RECT c = Intersection(have, r);
        if (!IsEmpty(c))
            next.push_back(c);
    }
    m_rects.swap(next);
}

void Region::Intersect(const Region& other) {
    std::vector<RECT> next;
    for (const RECT& a : m_rects)
        for (const RECT& b : other.m_rects) {
            RECT c = Intersection(a, b);
            if (!IsEmpty(c))
                next.push_back(c);
        }
    m_rects.swap(next);
}

void Region::Offset(int dx, int dy) {
    for (RECT& r : m_rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

}  // namespace orvi::user
