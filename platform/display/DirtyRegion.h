// The changed areas of the screen waiting to be presented: a short list of
// disjoint rectangles. Rectangles that overlap or touch are merged; when the
// list would grow past kMaxRects it collapses into its bounding box, so a
// frame that changed everywhere costs one copy, not hundreds.
#pragma once

#include <cstddef>
#include <vector>

#include "wintypes.h"

namespace orvi::display {

class DirtyRegion {
public:
    static constexpr size_t kMaxRects = 8;

    // Adds an area; empty rectangles are ignored.
    void Add(const RECT& area);
    bool Empty() const { return m_rects.empty(); }
    // Hands the collected rectangles over and leaves the region empty.
    std::vector<RECT> Take();

private:
    std::vector<RECT> m_rects;
};

}  // namespace orvi::display
