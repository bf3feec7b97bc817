#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

#include "display/Display.h"
#include "display/NavBar.h"
#include "display/Presenter.h"

using namespace orvi::display;

namespace {

constexpr auto kGenerous = std::chrono::seconds(10);

bool IsDark(uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) < 0x80 && ((pixel >> 8) & 0xFF) < 0x80 && (pixel & 0xFF) < 0x80;
}

}  // namespace

TEST(MarkScreenDirty, ManyThreadsAtOnceAllGetPresented) {
    EnsureStarted();
    EnsureStarted();  // idempotent
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (LONG i = 0; i < 500; ++i) {
                {
                    std::lock_guard lock(ScreenLock());  // callable with the lock held
                    MarkScreenDirty({i % 200, t * 40 + 30, i % 200 + 5, t * 40 + 35});
                }
                MarkScreenDirty({-50, -50, 10000, 10000});  // clipped to the screen
                if (i % 100 == 0)
                    NavBarChanged();
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_TRUE(Presenter::Instance().Flush(std::chrono::duration_cast<std::chrono::milliseconds>(kGenerous)));
    EXPECT_TRUE(Presenter::Instance().Idle());
}

TEST(NavBarChanged, RedrawsTheBarWithTextOnADarkBackground) {
    EnsureStarted();
    const RECT bar = NavBarRect();
    const int width = Geometry().width;
    const size_t belowBar = static_cast<size_t>(bar.bottom) * width + width / 2;
    constexpr uint32_t kSentinel = 0x00123456;
    {
        std::lock_guard lock(ScreenLock());
        for (LONG y = bar.top; y < bar.bottom; ++y)
            for (LONG x = bar.left; x < bar.right; ++x)
                ScreenPixels()[y * width + x] = 0x00FFFFFF;
        ScreenPixels()[belowBar] = kSentinel;
    }
    NavBarChanged();
    ASSERT_TRUE(Presenter::Instance().Flush(std::chrono::duration_cast<std::chrono::milliseconds>(kGenerous)));
    std::map<uint32_t, int> counts;
    {
        std::lock_guard lock(ScreenLock());
        for (LONG y = bar.top; y < bar.bottom; ++y)
            for (LONG x = bar.left; x < bar.right; ++x)
                ++counts[ScreenPixels()[y * width + x]];
    }
    auto background = std::max_element(counts.begin(), counts.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    EXPECT_TRUE(IsDark(background->first)) << std::hex << background->first;
    // The clock is always there: light text pixels on the dark bar.
    int light = 0;
    for (auto& [pixel, count] : counts)
        if (!IsDark(pixel))
            light += count;
    EXPECT_GT(light, 10);
    // Nothing below the bar was touched.
    std::lock_guard lock(ScreenLock());
    EXPECT_EQ(kSentinel, ScreenPixels()[belowBar]);
}

TEST(ClockText, IsHoursAndTwoDigitMinutes) {
    const std::u16string text = ClockText();
    const size_t colon = text.find(u':');
    ASSERT_NE(std::u16string::npos, colon);
    EXPECT_TRUE(colon == 1 || colon == 2);
    EXPECT_EQ(colon + 3, text.size());
    EXPECT_FALSE(colon == 2 && text[0] == u'0');  // no leading zero on the hour
    for (char16_t c : text)
        EXPECT_TRUE(c == u':' || (c >= u'0' && c <= u'9'));
}
