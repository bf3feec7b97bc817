// Process identity: the current process id and the caller process.
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "platform.h"

namespace {

DWORD CallerProcessId() {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(GetCallerProcess()));
}

}  // namespace

// Writes the id the platform gives this (child) process into the file named
// by the first argument.
ORVI_TEST_CHILD_MAIN(WriteProcessId) {
    if (args.empty())
        return 2;
    std::ofstream(args[0]) << GetCurrentProcessId() << ' ' << CallerProcessId();
    return 0;
}

TEST(GetCurrentProcessId, IsTheHostProcessIdInEachProcess) {
    SetLastError(0xC0DE);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    EXPECT_EQ(GetLastError(), 0xC0DEu);

    orvi::test::TempDeviceRoot root;
    std::string file = root.HostPath() + "/pid.txt";
    orvi::test::ChildProcess child("WriteProcessId", {file});
    int childPid = child.Pid();
    ASSERT_GT(childPid, 0);
    ASSERT_EQ(child.Wait(), 0);
    DWORD reportedId = 0;
    DWORD reportedCaller = 0;
    std::ifstream(file) >> reportedId >> reportedCaller;
    EXPECT_EQ(reportedId, static_cast<DWORD>(childPid));
    EXPECT_EQ(reportedCaller, static_cast<DWORD>(childPid));  // defaults to the process itself
}

TEST(GetCallerProcess, OverrideAppliesToTheSettingThreadOnly) {
    SetLastError(0xC0DE);
    EXPECT_EQ(CallerProcessId(), GetCurrentProcessId());
    EXPECT_EQ(GetLastError(), 0xC0DEu);
    const DWORD client = GetCurrentProcessId() + 4242;
    OrviSetCallerProcess(client);
    EXPECT_EQ(CallerProcessId(), client);

    DWORD seenElsewhere = 0;
    DWORD seenAfterOwnOverride = 0;
    std::thread([&] {
        seenElsewhere = CallerProcessId();
        OrviSetCallerProcess(client + 1);
        seenAfterOwnOverride = CallerProcessId();
    }).join();
    EXPECT_EQ(seenElsewhere, GetCurrentProcessId());
    EXPECT_EQ(seenAfterOwnOverride, client + 1);
    EXPECT_EQ(CallerProcessId(), client);  // the other thread's override stayed there

    OrviSetCallerProcess(0);
    EXPECT_EQ(CallerProcessId(), GetCurrentProcessId());
}
