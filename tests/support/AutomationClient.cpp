#include "AutomationClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace orvi::test {

bool AutomationClient::Connect(int timeoutMs) {
    Close();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, m_socketPath.c_str(), m_socketPath.size() + 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            return true;
        Close();
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool AutomationClient::SendRaw(const std::string& bytes) {
    size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return m_fd >= 0;
}

std::string AutomationClient::Command(const std::string& line, int timeoutMs) {
    if (!SendRaw(line + "\n"))
        return "";
    return ReadReply(timeoutMs);
}

std::string AutomationClient::ReadReply(int timeoutMs) {
    if (m_fd < 0)
        return "";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (size_t newline = m_received.find('\n'); newline != std::string::npos) {
            std::string reply = m_received.substr(0, newline);
            m_received.erase(0, newline + 1);
            return reply;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{m_fd, POLLIN, 0};
        if (left.count() <= 0)
            return "";
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return "";
        char buffer[1024];
        const ssize_t n = recv(m_fd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return "";
        m_received.append(buffer, static_cast<size_t>(n));
    }
}

void AutomationClient::Close() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_received.clear();
}

}  // namespace orvi::test
