// The screen's geometry is read once per process, so each variant runs in a
// child process of its own with $ORVI_SCREEN set for it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "display/Display.h"
#include "display/internal.h"

using namespace orvi::display;

namespace {

bool SameRect(const RECT& r, LONG left, LONG top, LONG right, LONG bottom) {
    return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

// Runs the checking child with $ORVI_SCREEN set (or unset for nullptr).
int RunScreenChild(const char* screen, const std::vector<std::string>& expected) {
    const char* previous = std::getenv("ORVI_SCREEN");
    const std::string saved = previous ? previous : "";
    if (screen)
        setenv("ORVI_SCREEN", screen, 1);
    else
        unsetenv("ORVI_SCREEN");
    orvi::test::ChildProcess child("CheckScreen", expected);
    const int code = child.Wait();
    if (previous)
        setenv("ORVI_SCREEN", saved.c_str(), 1);
    else
        unsetenv("ORVI_SCREEN");
    return code;
}

}  // namespace

// args: width height dpi navBarHeight. Each failed fact has its own exit code.
ORVI_TEST_CHILD_MAIN(CheckScreen) {
    const int width = std::stoi(args.at(0));
    const int height = std::stoi(args.at(1));
    const int dpi = std::stoi(args.at(2));
    const int bar = std::stoi(args.at(3));
    const ScreenGeometry& g = Geometry();
    if (g.width != width || g.height != height || g.dpi != dpi)
        return 10;
    if (Scale(26) != bar)
        return 11;
    if (!SameRect(NavBarRect(), 0, 0, width, bar))
        return 12;
    if (!SameRect(WorkArea(), 0, bar, width, height))
        return 13;
    std::lock_guard lock(ScreenLock());
    for (int i = 0; i < width * height; ++i)
        if (ScreenPixels()[i] != 0x00FFFFFF)
            return 14;  // the screen starts white
    return 0;
}

TEST(Geometry, DefaultsTo240x320At96) {
    EXPECT_EQ(0, RunScreenChild(nullptr, {"240", "320", "96", "26"}));
}

TEST(Geometry, ReadsHighResolutionScreen) {
    EXPECT_EQ(0, RunScreenChild("480x640@192", {"480", "640", "192", "52"}));
}

TEST(Geometry, FallsBackToDefaultForGarbage) {
    EXPECT_EQ(0, RunScreenChild("big", {"240", "320", "96", "26"}));
    EXPECT_EQ(0, RunScreenChild("480x640@", {"240", "320", "96", "26"}));
}

TEST(ParseScreenGeometry, AcceptsWellFormedValues) {
    auto g = ParseScreenGeometry("320x240@131");
    ASSERT_TRUE(g);
    EXPECT_EQ(320, g->width);
    EXPECT_EQ(240, g->height);
    EXPECT_EQ(131, g->dpi);
    auto noDpi = ParseScreenGeometry("480x800");
    ASSERT_TRUE(noDpi);
    EXPECT_EQ(96, noDpi->dpi);
}

TEST(ParseScreenGeometry, RejectsMalformedAndImplausibleValues) {
    for (const char* bad : {"", "x", "240", "240x", "x320", "240x320@", "240x320@96x",
                            "240 x320@96", "-240x320@96", "240x320@0", "0x320@96",
                            "99999x320@96", "240x320@96000", "240x320@9a"})
        EXPECT_FALSE(ParseScreenGeometry(bad)) << bad;
}
