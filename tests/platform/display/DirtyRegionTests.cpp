#include <gtest/gtest.h>

#include "display/DirtyRegion.h"

using orvi::display::DirtyRegion;

namespace {

bool Covers(const std::vector<RECT>& rects, LONG x, LONG y) {
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

long long Area(const std::vector<RECT>& rects) {
    long long area = 0;
    for (const RECT& r : rects)
        area += static_cast<long long>(r.right - r.left) * (r.bottom - r.top);
    return area;
}

}  // namespace

TEST(DirtyRegion, KeepsSeparateAreasApartAndMergesOverlaps) {
    DirtyRegion region;
    region.Add({0, 0, 10, 10});
    region.Add({100, 100, 110, 110});
    region.Add({5, 5, 20, 20});  // overlaps the first
    region.Add({2, 2, 4, 4});    // inside the merged one
    region.Add({0, 0, 0, 50});   // empty
    auto rects = region.Take();
    ASSERT_EQ(2u, rects.size());
    EXPECT_TRUE(Covers(rects, 0, 0));
    EXPECT_TRUE(Covers(rects, 19, 19));
    EXPECT_TRUE(Covers(rects, 105, 105));
    EXPECT_FALSE(Covers(rects, 50, 50));
    EXPECT_EQ(20 * 20 + 10 * 10, Area(rects));
    EXPECT_TRUE(region.Empty());
    EXPECT_TRUE(region.Take().empty());
}

TEST(DirtyRegion, MergeThatReachesAnotherAreaMergesThatToo) {
    DirtyRegion region;
    region.Add({0, 0, 10, 10});
    region.Add({30, 0, 40, 10});
    region.Add({8, 0, 32, 10});  // bridges both
    auto rects = region.Take();
    ASSERT_EQ(1u, rects.size());
    EXPECT_EQ(40 * 10, Area(rects));
}

TEST(DirtyRegion, ManyScatteredAreasCollapseIntoTheirBoundingBox) {
    DirtyRegion region;
    for (LONG i = 0; i < 20; ++i)
        region.Add({i * 10, i * 10, i * 10 + 2, i * 10 + 2});
    auto rects = region.Take();
    EXPECT_LE(rects.size(), DirtyRegion::kMaxRects);
    for (LONG i = 0; i < 20; ++i)
        EXPECT_TRUE(Covers(rects, i * 10 + 1, i * 10 + 1)) << i;
}
