// The demo program driven the way a person would, through the automation
// socket of the headless display: a tap and a key reach its window
// procedure, and the screenshot shows what it painted.
#include <gtest/gtest.h>

#include "AutomationClient.h"
#include "CDemoWindow.h"
#include "TestSupport.h"
#include "platform.h"

namespace {

using orvi::test::AutomationClient;
using orvi::test::ChildProcess;
using orvi::test::ProgramLaunch;

class OrviDemo : public orvi::test::DeviceRootTest {
protected:
    ChildProcess Launch() {
        return ChildProcess(ProgramLaunch{
            ORVI_DEMO_PATH,
            {},
            {"ORVI_DISPLAY=headless", "ORVI_SCREEN=240x320@96", "ORVI_AUTOMATION=" + Socket()},
            {},
            {}});
    }
    std::string Socket() const { return m_root.Host("\\automation.sock"); }

    // Decodes a screenshot taken into the device root with the platform's own
    // picture decoder; pixels are read back through a memory DC.
    struct Picture {
        HBITMAP bitmap = nullptr;
        HDC dc = nullptr;
        ~Picture() {
            DeleteDC(dc);
            DeleteObject(bitmap);
        }
        COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    };
    void Load(LPCWSTR devicePath, Picture* picture) {
        SIZE size{};
        BOOL alpha = FALSE;
        ASSERT_EQ(OrviDecodeImageFile(devicePath, &picture->bitmap, &size, &alpha), S_OK);
        EXPECT_EQ(size.cx, 240);
        EXPECT_EQ(size.cy, 320);
        picture->dc = CreateCompatibleDC(nullptr);
        SelectObject(picture->dc, picture->bitmap);
    }
};

TEST_F(OrviDemo, TapAndKeyReachTheWindowAndTheScreenshotShowsThem) {
    ChildProcess demo = Launch();
    AutomationClient client(Socket());
    ASSERT_TRUE(client.Connect());
    ASSERT_EQ(client.Command("wait-idle"), "ok");
    ASSERT_EQ(client.Command("tap 100 150"), "ok");
    ASSERT_EQ(client.Command("key enter"), "ok");
    ASSERT_EQ(client.Command("wait-idle"), "ok");
    ASSERT_EQ(client.Command("screenshot " + m_root.Host("\\shot.png")), "ok");

    Picture shot;
    Load(u"\\shot.png", &shot);
    // The tap mark is centred on the tapped screen point.
    EXPECT_EQ(shot.At(100, 150), CDemoWindow::kTapColor);
    EXPECT_NE(shot.At(100 + CDemoWindow::kTapMark + 2, 150), CDemoWindow::kTapColor);
    // The key bar fills the bottom of the window in the colour of Enter.
    EXPECT_EQ(shot.At(120, 310), CDemoWindow::kEnterKeyColor);
    // The navigation bar above the window carries the caption: not one colour.
    RECT bar{0, 0, 240, 26};
    COLORREF first = shot.At(bar.left, bar.top);
    bool varied = false;
    for (int x = 0; x < 120 && !varied; ++x)
        for (int y = 0; y < bar.bottom && !varied; ++y)
            varied = shot.At(x, y) != first;
    EXPECT_TRUE(varied);

    // Escape (the Back key) closes the window, which ends the loop.
    ASSERT_EQ(client.Command("key escape"), "ok");
    EXPECT_EQ(demo.Wait(10000), 0);
}

TEST_F(OrviDemo, TypedTextIsKeptAndOtherKeysRecolourTheBar) {
    ChildProcess demo = Launch();
    AutomationClient client(Socket());
    ASSERT_TRUE(client.Connect());
    ASSERT_EQ(client.Command("wait-idle"), "ok");
    ASSERT_EQ(client.Command("screenshot " + m_root.Host("\\before.png")), "ok");
    ASSERT_EQ(client.Command("text abc"), "ok");
    ASSERT_EQ(client.Command("key down"), "ok");
    ASSERT_EQ(client.Command("wait-idle"), "ok");
    ASSERT_EQ(client.Command("screenshot " + m_root.Host("\\after.png")), "ok");

    Picture before;
    Load(u"\\before.png", &before);
    Picture after;
    Load(u"\\after.png", &after);
    EXPECT_EQ(before.At(120, 310), CDemoWindow::kIdleKeyColor);
    EXPECT_EQ(after.At(120, 310), CDemoWindow::kOtherKeyColor);
    // The typed text appears in the status lines: some pixels there changed.
    int changed = 0;
    for (int y = 26 + 48; y < 26 + 48 + 60; ++y)
        for (int x = 8; x < 232; ++x)
            changed += before.At(x, y) != after.At(x, y);
    EXPECT_GT(changed, 20);
    demo.Kill();
}

}  // namespace
