// The fake gpsd: one server thread polls the listener, the clients and a
// wake pipe, and sends each watching client its scripted reports when due.
#include "FakeGpsd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace orvi::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr char kVersion[] =
    "{\"class\":\"VERSION\",\"release\":\"3.22\",\"rev\":\"3.22\",\"proto_major\":3,"
    "\"proto_minor\":14}";
constexpr char kDevices[] =
    "{\"class\":\"DEVICES\",\"devices\":[{\"class\":\"DEVICE\",\"path\":\"/dev/fakegps0\","
    "\"driver\":\"NMEA0183\",\"activated\":\"2020-01-01T00:00:00.000Z\",\"native\":0,"
    "\"bps\":4800,\"parity\":\"N\",\"stopbits\":1,\"cycle\":1.00}]}";
constexpr char kWatch[] =
    "{\"class\":\"WATCH\",\"enable\":true,\"json\":true,\"nmea\":false,\"raw\":0,"
    "\"scaled\":false,\"timing\":false,\"split24\":false,\"pps\":false}";

}  // namespace

struct FakeGpsd::Client {
    int fd = -1;
    std::string input;
    bool watching = false;
    size_t next = 0;
    SteadyClock::time_point due{};
    unsigned generation = 0;  // of the script this client's stream follows
};

FakeGpsd::FakeGpsd() {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listenFd, 16) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(m_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("FakeGpsd: cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

FakeGpsd::~FakeGpsd() {
    Stop();
    if (m_listenFd >= 0)
        close(m_listenFd);
    close(m_wakeFds[0]);
    close(m_wakeFds[1]);
}

std::string FakeGpsd::Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }

void FakeGpsd::SetScript(std::vector<FakeTpv> reports, std::chrono::milliseconds interval,
                         Repeat repeat) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports = std::move(reports);
        m_interval = interval;
        m_repeat = repeat;
        ++m_scriptGeneration;
    }
    const char wake = 1;
    [[maybe_unused]] ssize_t n = write(m_wakeFds[1], &wake, 1);
}

int FakeGpsd::ConnectionsAccepted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

int FakeGpsd::ConnectionsOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

int FakeGpsd::ReportsSent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

bool FakeGpsd::WaitForOpenConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_open == count; });
}

void FakeGpsd::Stop() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    const char wake = 1;
    [[maybe_unused]] ssize_t n = write(m_wakeFds[1], &wake, 1);
    m_thread.join();
    // Connections still waiting in the backlog are reset with the listener.
    close(m_listenFd);
    m_listenFd = -1;
}

std::string FakeGpsd::IsoTime(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    const time_t seconds = static_cast<time_t>(ms.count() / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms.count() % 1000));
    return text;
}

void FakeGpsd::CountOpen(int delta) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open += delta;
        if (delta > 0)
            m_accepted += delta;
    }
    m_changed.notify_all();
}

void FakeGpsd::Run() {
    std::vector<Client> clients;
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                break;
            for (const Client& c : clients) {
                if (!c.watching || m_reports.empty())
                    continue;
                const bool restart = c.generation != m_scriptGeneration;
                if (!restart && m_repeat == Repeat::Once && c.next >= m_reports.size())
                    continue;
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(c.due - SteadyClock::now());
                const int ms = restart ? 0 : static_cast<int>(std::max<int64_t>(0, wait.count()));
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            }
        }
        std::vector<pollfd> fds{{m_wakeFds[0], POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), timeoutMs) < 0)
            continue;
        if (fds[0].revents) {
            char drain[16];
            while (read(m_wakeFds[0], drain, sizeof(drain)) > 0) {
            }
        }
        std::vector<bool> keep(clients.size(), true);
        for (size_t i = 0; i < clients.size(); ++i) {
            if (fds[i + 2].revents)
                keep[i] = Receive(clients[i]);
            keep[i] = keep[i] && SendDue(clients[i], SteadyClock::now());
        }
        for (size_t i = clients.size(); i-- > 0;) {
            if (!keep[i]) {
                close(clients[i].fd);
                clients.erase(clients.begin() + static_cast<ptrdiff_t>(i));
                CountOpen(-1);
            }
        }
        if (fds[1].revents)
            Accept(clients);
    }
    for (Client& c : clients)
        close(c.fd);
    CountOpen(-static_cast<int>(clients.size()));
}

void FakeGpsd::Accept(std::vector<Client>& clients) {
    const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (!SendLine(fd, kVersion)) {
        close(fd);
        return;
    }
    Client client;
    client.fd = fd;
    clients.push_back(client);
    CountOpen(1);
}

// Reads what the client sent and answers its commands; false when the
// client went away.
bool FakeGpsd::Receive(Client& client) {
    char buffer[512];
    const ssize_t n = recv(client.fd, buffer, sizeof(buffer), 0);
    if (n <= 0)
        return false;
    client.input.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = client.input.find_first_of(";\n")) != std::string::npos) {
        const std::string command = client.input.substr(0, end);
        client.input.erase(0, end + 1);
        HandleCommand(client, command);
    }
    return true;
}

void FakeGpsd::HandleCommand(Client& client, const std::string& command) {
    if (command.rfind("?VERSION", 0) == 0) {
        SendLine(client.fd, kVersion);
    } else if (command.rfind("?WATCH", 0) == 0) {
        client.watching = command.find("\"enable\":false") == std::string::npos;
        client.next = 0;
        client.due = SteadyClock::now();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            client.generation = m_scriptGeneration;
        }
        if (client.watching)
            SendLine(client.fd, kDevices);
        SendLine(client.fd, client.watching ? std::string(kWatch)
                                            : "{\"class\":\"WATCH\",\"enable\":false}");
    }
}

// Sends the client's next report when it is due; false when the send failed.
bool FakeGpsd::SendDue(Client& client, SteadyClock::time_point now) {
    std::string json;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (client.watching && client.generation != m_scriptGeneration) {
            client.generation = m_scriptGeneration;
            client.next = 0;
            client.due = now;
        }
        if (!client.watching || m_reports.empty() || now < client.due)
            return true;
        if (client.next >= m_reports.size()) {
            if (m_repeat == Repeat::Once)
                return true;
            client.next = 0;
        }
        json = TpvJson(m_reports[client.next++]);
        client.due = now + m_interval;
        ++m_sent;
    }
    return SendLine(client.fd, json);
}

bool FakeGpsd::SendLine(int fd, const std::string& json) {
    const std::string line = json + "\r\n";
    return send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
}

std::string FakeGpsd::TpvJson(const FakeTpv& report) {
    std::string json = "{\"class\":\"TPV\",\"device\":\"/dev/fakegps0\",\"mode\":" +
                       std::to_string(report.mode);
    const std::string time =
        report.time == "now" ? IsoTime(std::chrono::system_clock::now()) : report.time;
    if (!time.empty())
        json += ",\"time\":\"" + time + "\",\"ept\":0.005";
    char number[64];
    const auto add = [&](const char* name, const std::optional<double>& value) {
        if (!value)
            return;
        std::snprintf(number, sizeof(number), ",\"%s\":%.9f", name, *value);
        json += number;
    };
    add("lat", report.lat);
    add("lon", report.lon);
    add("altMSL", report.altMSL);
    return json + "}";
}

}  // namespace orvi::test
