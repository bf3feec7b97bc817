// A client of a program's automation socket ($ORVI_AUTOMATION), for tests
// that drive a program the way a person would: one command line out, one
// reply line back ("ok" or "error <reason>").
#pragma once

#include <string>
#include <utility>

namespace orvi::test {

class AutomationClient {
public:
    explicit AutomationClient(std::string socketPath) : m_socketPath(std::move(socketPath)) {}
    ~AutomationClient() { Close(); }
    AutomationClient(const AutomationClient&) = delete;
    AutomationClient& operator=(const AutomationClient&) = delete;

    // Connects, retrying until the program listens or the timeout passes
    // (the program may still be starting).
    bool Connect(int timeoutMs = 10000);
    // Sends one command (a newline is added) and returns the reply without
    // its newline; "" when the connection failed or the reply did not come
    // within the timeout.
    std::string Command(const std::string& line, int timeoutMs = 30000);
    // Sends raw bytes without waiting for a reply (partial lines, for tests
    // of the server's robustness).
    bool SendRaw(const std::string& bytes);
    // The next reply line without its newline; "" as for Command.
    std::string ReadReply(int timeoutMs = 30000);
    void Close();

private:
    std::string m_socketPath;
    std::string m_received;  // bytes after the last reply line
    int m_fd = -1;
};

}  // namespace orvi::test
