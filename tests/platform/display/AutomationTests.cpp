#include <stb_image.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "AutomationClient.h"
#include "display/AutomationCommands.h"
#include "display/internal.h"
#include "winuser.h"

using namespace orvi::display;
using orvi::test::AutomationClient;

namespace {

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("orvi-auto-" + std::to_string(getpid()) + "-" + name))
        .string();
}

bool IsError(const std::string& reply) {
    return reply.rfind("error ", 0) == 0;
}

// One listener serves the whole suite, as one does a whole program.
class AutomationSocket : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_path = new std::string(TempPath("socket"));
        s_started = StartAutomation(*s_path);
    }
    void SetUp() override {
        ASSERT_TRUE(s_started);
        ASSERT_TRUE(m_client.Connect());
    }
    std::string Run(const std::string& line) { return m_client.Command(line); }

    static inline std::string* s_path = nullptr;
    static inline bool s_started = false;
    AutomationClient m_client{*s_path};
};

}  // namespace

TEST_F(AutomationSocket, AnswersOkForEveryWellFormedCommand) {
    for (const char* line : {"key left", "key ENTER", "key back", "key softright", "key f1",
                             "key backspace", "key 5", "key q", "key 0x26", "tap 10 40",
                             "down 1 30", "move 2 31", "up 3 32", "text h\xC3\xA9llo w\xC3\xB6rld",
                             "wait-idle 2000", "wait-idle"})
        EXPECT_EQ("ok", Run(line)) << line;
}

TEST_F(AutomationSocket, AnswersErrorForMalformedCommands) {
    EXPECT_EQ("error unknown command", Run("frobnicate 1 2"));
    EXPECT_EQ("error unknown command", Run(""));
    EXPECT_EQ("error unknown command", Run("TAP 1 2"));
    for (const char* line : {"key", "key nosuchkey", "key left right", "key 300", "tap 10",
                             "tap -1 40", "tap 10 99999", "tap a b", "move 1 2 3", "text",
                             "screenshot", "wait-idle soon", "wait-idle -5"})
        EXPECT_TRUE(IsError(Run(line))) << line;
    // The connection is still good after errors.
    EXPECT_EQ("ok", Run("key up"));
}

TEST_F(AutomationSocket, ScreenshotWritesThePictureOrReportsWhyNot) {
    const std::string path = TempPath("shot with space.png");
    EXPECT_EQ("ok", Run("screenshot " + path));
    int width = 0, height = 0, channels = 0;
    EXPECT_TRUE(stbi_info(path.c_str(), &width, &height, &channels));
    EXPECT_EQ(Geometry().width, width);
    EXPECT_EQ(Geometry().height, height);
    std::filesystem::remove(path);
    EXPECT_TRUE(IsError(Run("screenshot " + TempPath("missing-folder") + "/shot.png")));
}

TEST_F(AutomationSocket, ServesPipelinedLinesAndClientsOneAfterAnother) {
    ASSERT_TRUE(m_client.SendRaw("key left\r\nkey nosuchkey\nkey right\n"));
    EXPECT_EQ("ok", m_client.ReadReply());
    EXPECT_TRUE(IsError(m_client.ReadReply()));
    EXPECT_EQ("ok", m_client.ReadReply());
    // A client that leaves in the middle of a line harms nobody.
    AutomationClient quitter(*s_path);
    ASSERT_TRUE(quitter.Connect());
    ASSERT_TRUE(quitter.SendRaw("tap 1"));
    quitter.Close();
    AutomationClient next(*s_path);
    ASSERT_TRUE(next.Connect());
    EXPECT_EQ("ok", next.Command("tap 1 40"));
}

TEST_F(AutomationSocket, RefusesAnOverlongLineAndCarriesOn) {
    EXPECT_EQ("error line too long", Run("text " + std::string(200 * 1024, 'x')));
    EXPECT_EQ("ok", Run("key down"));
}

TEST(StartAutomation, ReplacesAStaleSocketButNoOtherFile) {
    const std::string stale = TempPath("stale");
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, stale.c_str());
    ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)));
    close(fd);  // the socket file stays behind, as after a crash
    ASSERT_TRUE(StartAutomation(stale));
    AutomationClient client(stale);
    ASSERT_TRUE(client.Connect());
    EXPECT_EQ("ok", client.Command("key left"));

    const std::string file = TempPath("plain-file");
    std::ofstream(file) << "keep me";
    EXPECT_FALSE(StartAutomation(file));
    std::ifstream in(file);
    std::string contents;
    std::getline(in, contents);
    EXPECT_EQ("keep me", contents);
    std::filesystem::remove(file);
}

TEST(VirtualKeyFromName, NamesTheDeviceKeys) {
    EXPECT_EQ(UINT(VK_LEFT), VirtualKeyFromName("left"));
    EXPECT_EQ(UINT(VK_DOWN), VirtualKeyFromName("Down"));
    EXPECT_EQ(UINT(VK_RETURN), VirtualKeyFromName("enter"));
    EXPECT_EQ(UINT(VK_ESCAPE), VirtualKeyFromName("back"));
    EXPECT_EQ(UINT(VK_ESCAPE), VirtualKeyFromName("escape"));
    EXPECT_EQ(UINT(VK_F1), VirtualKeyFromName("softleft"));
    EXPECT_EQ(UINT(VK_F2), VirtualKeyFromName("f2"));
    EXPECT_EQ(UINT(VK_BACK), VirtualKeyFromName("backspace"));
    EXPECT_EQ(UINT('7'), VirtualKeyFromName("7"));
    EXPECT_EQ(UINT('Q'), VirtualKeyFromName("q"));
    EXPECT_EQ(UINT(VK_RETURN), VirtualKeyFromName("13"));
    EXPECT_EQ(UINT(VK_UP), VirtualKeyFromName("0x26"));
    for (const char* bad : {"", "qq", "256", "0x", "f3", "-1"})
        EXPECT_FALSE(VirtualKeyFromName(bad)) << bad;
}
