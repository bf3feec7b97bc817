// Fixtures shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace orvi::test {

// A fresh, empty device root for one test: $ORVI_DEVICE_ROOT points at a new
// temporary folder for the life of the object, which is removed afterwards.
class TempDeviceRoot {
public:
    TempDeviceRoot();
    ~TempDeviceRoot();
    TempDeviceRoot(const TempDeviceRoot&) = delete;
    TempDeviceRoot& operator=(const TempDeviceRoot&) = delete;

    const std::string& HostPath() const { return m_hostPath; }
    // Host path of a device path below the root ("\a\b" -> "<root>/a/b").
    std::string Host(const std::string& devicePath) const;

private:
    std::string m_hostPath;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// gtest fixture that gives every test its own device root.
class DeviceRootTest : public ::testing::Test {
protected:
    TempDeviceRoot m_root;
};

// Child processes: a test program re-runs itself with ORVI_TEST_CHILD set to
// the name of a routine registered with ORVI_TEST_CHILD_MAIN; the routine's
// return value is the child's exit code. The child inherits the environment,
// including the device root.
using ChildMain = std::function<int(const std::vector<std::string>& args)>;
bool RegisterChild(const char* name, ChildMain main);

// Another program of the build, run with the test's environment plus `env`
// entries ("NAME=value", overriding inherited ones).
struct ProgramLaunch {
    std::string path;
    std::vector<std::string> args;
    std::vector<std::string> env;
    // Host file that receives the program's standard error; empty: inherited.
    std::string stderrPath;
    // The same for its standard output.
    std::string stdoutPath;
};

class ChildProcess {
public:
    ChildProcess(const std::string& name, const std::vector<std::string>& args = {});
    explicit ChildProcess(const ProgramLaunch& launch);
    ~ChildProcess();  // kills a child still running
    // Exit code, or -1 when it died from a signal or the wait timed out.
    int Wait(int timeoutMs = 30000);
    void Kill();
    int Pid() const { return m_pid; }

private:
    void Spawn(const std::string& path, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::string& stderrPath = {},
               const std::string& stdoutPath = {});

    int m_pid = -1;
};

// Runs the registered child named in ORVI_TEST_CHILD, if any; returns true
// with *exitCode set when this process is such a child.
bool RunChildIfRequested(int argc, char** argv, int* exitCode);

}  // namespace orvi::test

#define ORVI_TEST_CHILD_MAIN(name)                                                            \
    static int OrviChild_##name(const std::vector<std::string>& args);                        \
    static const bool s_orviChildRegistered_##name =                                          \
        ::orvi::test::RegisterChild(#name, OrviChild_##name);                                 \
    static int OrviChild_##name([[maybe_unused]] const std::vector<std::string>& args)
