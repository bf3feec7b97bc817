#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "display/Display.h"
#include "display/internal.h"
#include "winerror.h"

using namespace orvi::display;

namespace {

// Every pixel different enough to catch swapped channels and shifted rows.
uint32_t PatternPixel(int x, int y) {
    return static_cast<uint32_t>(((x * 7) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | ((x ^ y) & 0xFF));
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("orvi-display-") + std::to_string(getpid()) + "-" + name))
        .string();
}

}  // namespace

// The display thread is never started here, so nothing but the test draws.
ORVI_TEST_CHILD_MAIN(ScreenshotMatchesFramebuffer) {
    const ScreenGeometry& g = Geometry();
    {
        std::lock_guard lock(ScreenLock());
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x)
                ScreenPixels()[y * g.width + x] = PatternPixel(x, y);
    }
    DWORD error = 0;
    if (!WriteScreenshot(args.at(0), &error))
        return 10;
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load(args.at(0).c_str(), &width, &height, &channels, 3);
    if (!rgb)
        return 11;
    int code = width == g.width && height == g.height ? 0 : 12;
    for (int i = 0; code == 0 && i < width * height; ++i) {
        const uint32_t decoded = static_cast<uint32_t>(rgb[i * 3] << 16 | rgb[i * 3 + 1] << 8 | rgb[i * 3 + 2]);
        if (decoded != ScreenPixels()[i])
            code = 13;
    }
    stbi_image_free(rgb);
    return code;
}

TEST(WriteScreenshot, PngDecodesToExactlyTheFramebuffer) {
    const std::string path = TempPath("exact.png");
    orvi::test::ChildProcess child("ScreenshotMatchesFramebuffer", {path});
    EXPECT_EQ(0, child.Wait());
    std::filesystem::remove(path);
}

TEST(WriteScreenshot, ReplacesAnExistingFileAndFailsForAMissingFolder) {
    const std::string path = TempPath("replace.png");
    { std::FILE* f = std::fopen(path.c_str(), "w"); ASSERT_TRUE(f); std::fputs("old", f); std::fclose(f); }
    DWORD error = 0;
    ASSERT_TRUE(WriteScreenshot(path, &error)) << error;
    int width = 0, height = 0, channels = 0;
    EXPECT_TRUE(stbi_info(path.c_str(), &width, &height, &channels));
    EXPECT_EQ(Geometry().width, width);
    EXPECT_EQ(Geometry().height, height);
    std::filesystem::remove(path);

    error = 0;
    EXPECT_FALSE(WriteScreenshot(TempPath("no-such-folder") + "/shot.png", &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}
