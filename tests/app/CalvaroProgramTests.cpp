// The Calvaro program as installed on a device: one instance at a time, the
// favourite handed from a second instance to the first, and the end of a run
// whose configuration is unusable.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CMainFrame.h"
#include "LogTestSupport.h"
#include "TestSupport.h"

namespace orvi::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kProgramFolder[] = "\\Program Files\\Calvaro";

class CalvaroProgram : public DeviceRootTest {
protected:
    void SetUp() override {
        const fs::path folder = m_root.Host(kProgramFolder);
        fs::create_directories(folder);
        fs::copy_file(CALVARO_PATH, folder / "Calvaro");
        fs::copy_file(CALVARO_ENVIRONMENT_FILE, folder / "Calvaro.xml");
    }

    ChildProcess Start(std::vector<std::string> args, const std::string& traceName) {
        return ChildProcess(ProgramLaunch{m_root.Host(std::string(kProgramFolder) + "\\Calvaro"),
                                          std::move(args),
                                          {"ORVI_DISPLAY=headless", "ORVI_TRACE=1"},
                                          m_root.Host("\\" + traceName),
                                          {}});
    }

    static HWND WaitForFrame() {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(20ms)) {
            if (HWND frame = FindWindowW(u"Calvaro", nullptr))
                return frame;
        }
        return nullptr;
    }

    std::string Trace(const std::string& traceName) { return ReadHostFile(m_root.Host("\\" + traceName)); }

    static size_t Count(const std::string& text, const std::string& needle) {
        size_t count = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
            ++count;
        return count;
    }

    // What the program and the platform said, for failure messages.
    std::string Diagnosis(const std::string& traceName) {
        const std::u16string log =
            FromUtf16Bytes(ReadHostFile(m_root.Host(std::string(kProgramFolder) + "\\orvidbg.log")));
        return "trace: " + Trace(traceName) + "\nlog: " + std::string(log.begin(), log.end());
    }

    size_t AnnouncedWindows() {
        const fs::path folder = m_root.HostPath() + "/.runtime/windows";
        if (!fs::exists(folder))
            return 0;
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
};

TEST_F(CalvaroProgram, SecondInstanceHandsItsFavouriteToTheFirstAndEnds) {
    ChildProcess first = Start({}, "first.trace");
    const HWND frame = WaitForFrame();
    ASSERT_NE(nullptr, frame);
    ASSERT_EQ(1u, AnnouncedWindows());

    ChildProcess second = Start({"--any", "playf:2"}, "second.trace");
    EXPECT_EQ(1, second.Wait(20000));
    EXPECT_EQ(1u, AnnouncedWindows());  // the second made no window

    ChildProcess third = Start({}, "third.trace");
    EXPECT_EQ(1, third.Wait(20000));
    ChildProcess fourth = Start({"playf:"}, "fourth.trace");  // nothing behind the token
    EXPECT_EQ(1, fourth.Wait(20000));

    // The first came forward three times and received one favourite.
    const std::string trace = Trace("first.trace");
    EXPECT_EQ(3u, Count(trace, "brought forward for another process")) << trace;
    EXPECT_EQ(1u, Count(trace, "posted message 0x0404")) << trace;
    EXPECT_EQ(1u, Count(trace, "posted message 0x0404 (wParam 1, lParam 2)")) << trace;

    // Closing the frame ends a normal run with 1.
    ASSERT_TRUE(PostMessageW(frame, WM_CLOSE, 0, 0));
    EXPECT_EQ(1, first.Wait(20000));
    EXPECT_EQ(0u, AnnouncedWindows());
}

TEST_F(CalvaroProgram, AloneItStartsFullyAndTakesItsOwnFavourite) {
    ChildProcess program = Start({"playf:1"}, "program.trace");
    const HWND frame = WaitForFrame();
    ASSERT_NE(nullptr, frame);
    ASSERT_TRUE(PostMessageW(frame, WM_CLOSE, 0, 0)) << GetLastError() << Diagnosis("program.trace");
    EXPECT_EQ(1, program.Wait(20000));
    // The data folder was made while the frame loaded the configuration.
    EXPECT_TRUE(fs::is_directory(m_root.Host("\\Application Data\\Calvaro")));
    EXPECT_EQ(0u, Count(Trace("program.trace"), "brought forward"));  // it was the first
}

TEST_F(CalvaroProgram, InstanceWithoutAWindowIsWaitedForThenItStartsAnyway) {
    // Another holder of the instance mutex that never shows a frame.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Calvaro");
    ASSERT_NE(nullptr, mutex);
    const auto started = std::chrono::steady_clock::now();
    ChildProcess program = Start({}, "program.trace");
    const HWND frame = WaitForFrame();
    ASSERT_NE(nullptr, frame) << Diagnosis("program.trace") << " exit " << program.Wait(0);
    // 25 attempts of 100 ms come first.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 2s);
    ASSERT_TRUE(PostMessageW(frame, WM_CLOSE, 0, 0)) << GetLastError() << Diagnosis("program.trace");
    EXPECT_EQ(1, program.Wait(20000));
    CloseHandle(mutex);
}

TEST_F(CalvaroProgram, UnusableEnvironmentClosesTheFrameAndEndsWithOne) {
    WriteHostFile(m_root.Host(std::string(kProgramFolder) + "\\Calvaro.xml"), "<orvi><environment>");
    ChildProcess program = Start({}, "program.trace");
    EXPECT_EQ(1, program.Wait(20000));
    const std::u16string log =
        FromUtf16Bytes(ReadHostFile(m_root.Host(std::string(kProgramFolder) + "\\orvidbg.log")));
    EXPECT_NE(std::u16string::npos,
              log.find(u"\tThe config file is format invalid(err=0): \\Program Files\\Calvaro\\Calvaro.xml\r\n"))
        << log.size();
}

}  // namespace
}  // namespace orvi::test
