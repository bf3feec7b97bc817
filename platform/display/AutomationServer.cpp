#include "AutomationServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "AutomationCommands.h"
#include "internal.h"
#include "kernel/internal.h"

namespace orvi::display {

namespace {

// Longer lines are refused as a whole; no command needs more.
constexpr size_t kMaxLine = 64 * 1024;

bool SendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Removes a socket left behind by an earlier run; refuses to touch anything
// that is not a socket.
bool ClearSocketPath(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(st.st_mode))
        return false;
    return unlink(path.c_str()) == 0;
}

int Listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        kernel::Trace("display: automation socket path too long: %s", path.c_str());
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (!ClearSocketPath(path)) {
        kernel::Trace("display: automation path %s is taken by something else", path.c_str());
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, 8) != 0) {
        kernel::Trace("display: cannot listen at %s: %s", path.c_str(), std::strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool StartAutomation(const std::string& socketPath) {
    return AutomationServer::Start(socketPath);
}

bool AutomationServer::Start(const std::string& socketPath) {
    const int listener = Listen(socketPath);
    if (listener < 0)
        return false;
    // Lives as long as the process, like its thread.
    auto* server = new AutomationServer(listener);
    std::thread([server] { server->AcceptLoop(); }).detach();
    kernel::Trace("display: automation listening at %s", socketPath.c_str());
    return true;
}

void AutomationServer::AcceptLoop() {
    for (;;) {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            std::thread([client] { Serve(client); }).detach();
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        // Out of descriptors or memory: back off instead of spinning.
        kernel::Trace("display: automation accept: %s", std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

void AutomationServer::Serve(int client) {
    std::string pending;
    bool discarding = false;  // inside a line that was too long
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(client, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // a line cut off by the disconnect is dropped unanswered
        pending.append(buffer, static_cast<size_t>(n));
        size_t newline;
        bool alive = true;
        while (alive && (newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (std::exchange(discarding, false))
                continue;
            alive = SendAll(client, RunAutomationCommand(line) + "\n");
        }
        if (alive && pending.size() > kMaxLine && !discarding) {
            alive = SendAll(client, "error line too long\n");
            discarding = true;
        }
        if (discarding)
            pending.clear();
        if (!alive)
            break;
    }
    close(client);
}

}  // namespace orvi::display
