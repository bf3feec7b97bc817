#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

extern char** environ;

namespace orvi::test {
namespace {

std::map<std::string, ChildMain>& Children() {
    static std::map<std::string, ChildMain> children;
    return children;
}

}  // namespace

TempDeviceRoot::TempDeviceRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvi-root-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_hostPath = pattern;
    if (const char* previous = std::getenv("ORVI_DEVICE_ROOT")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    setenv("ORVI_DEVICE_ROOT", m_hostPath.c_str(), 1);
}

TempDeviceRoot::~TempDeviceRoot() {
    if (m_hadPrevious)
        setenv("ORVI_DEVICE_ROOT", m_previous.c_str(), 1);
    else
        unsetenv("ORVI_DEVICE_ROOT");
    std::error_code ec;
    // Read-only files and folders left by a test must not stop the clean-up.
    for (auto& entry : std::filesystem::recursive_directory_iterator(m_hostPath, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_hostPath, ec);
}

std::string TempDeviceRoot::Host(const std::string& devicePath) const {
    std::string path = m_hostPath;
    for (char c : devicePath)
        path += c == '\\' ? '/' : c;
    return path;
}

bool RegisterChild(const char* name, ChildMain main) {
    Children()[name] = std::move(main);
    return true;
}

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args) {
    Spawn(std::filesystem::read_symlink("/proc/self/exe").string(), args,
          {"ORVI_TEST_CHILD=" + name});
}

ChildProcess::ChildProcess(const ProgramLaunch& launch) {
    // The program is not a test child, whatever this process is.
    std::vector<std::string> env{"ORVI_TEST_CHILD="};
    env.insert(env.end(), launch.env.begin(), launch.env.end());
    Spawn(launch.path, launch.args, env, launch.stderrPath, launch.stdoutPath);
}

void ChildProcess::Spawn(const std::string& path, const std::vector<std::string>& args,
                         const std::vector<std::string>& overrides,
                         const std::string& stderrPath, const std::string& stdoutPath) {
    auto overridden = [&](std::string_view entry) {
        for (const auto& o : overrides) {
            if (entry.substr(0, entry.find('=') + 1) == o.substr(0, o.find('=') + 1))
                return true;
        }
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (!overridden(*e))
            env.emplace_back(*e);
    }
    for (const auto& o : overrides) {
        if (o.back() != '=')  // "NAME=" removes NAME
            env.push_back(o);
    }
    std::vector<std::string> argCopy{path};
    argCopy.insert(argCopy.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argCopy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0)
        m_pid = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0)
        Kill();
}

int ChildProcess::Wait(int timeoutMs) {
    if (m_pid <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void ChildProcess::Kill() {
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    int status;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

bool RunChildIfRequested(int argc, char** argv, int* exitCode) {
    const char* name = std::getenv("ORVI_TEST_CHILD");
    if (!name)
        return false;
    auto it = Children().find(name);
    if (it == Children().end()) {
        *exitCode = 127;
        return true;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    *exitCode = it->second(args);
    return true;
}

}  // namespace orvi::test
