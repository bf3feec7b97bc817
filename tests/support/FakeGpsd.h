// A stand-in for gpsd on 127.0.0.1: it speaks gpsd's JSON protocol far
// enough for libgps clients (VERSION on connect, ?WATCH answered with
// DEVICES and WATCH) and streams the position reports a test scripts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvi::test {

// One scripted TPV report. Absent values are left out of the object.
struct FakeTpv {
    std::optional<double> lat;
    std::optional<double> lon;
    std::optional<double> altMSL;
    int mode = 3;
    // "now": the time of sending; empty: no time member; anything else is
    // sent as given (ISO 8601, e.g. "2020-01-01T00:00:00.000Z").
    std::string time = "now";
};

class FakeGpsd {
public:
    enum class Repeat { Once, Loop };

    // Listens on an ephemeral port of 127.0.0.1 at once; silent until a
    // script is set.
    FakeGpsd();
    ~FakeGpsd();
    FakeGpsd(const FakeGpsd&) = delete;
    FakeGpsd& operator=(const FakeGpsd&) = delete;

    uint16_t Port() const { return m_port; }
    // "127.0.0.1:<port>", the form $ORVI_GPSD takes.
    std::string Endpoint() const;

    // Every watching client gets the reports in order, the first at once and
    // then one per interval; Repeat::Loop starts over after the last,
    // Repeat::Once falls silent. An empty list is silence. Setting a script
    // restarts the stream of the clients already watching.
    void SetScript(std::vector<FakeTpv> reports, std::chrono::milliseconds interval,
                   Repeat repeat = Repeat::Loop);

    int ConnectionsAccepted() const;
    int ConnectionsOpen() const;
    int ReportsSent() const;
    // Waits until ConnectionsOpen() == count; false after the time-out.
    bool WaitForOpenConnections(int count, std::chrono::milliseconds timeout) const;

    // Closes every connection and the listener; returns once the server
    // thread has ended. Idempotent; call from the owning thread.
    void Stop();

    // "YYYY-MM-DDTHH:MM:SS.mmmZ" of a point in time.
    static std::string IsoTime(std::chrono::system_clock::time_point when);

private:
    struct Client;
    void Run();
    void Accept(std::vector<Client>& clients);
    bool Receive(Client& client);
    void HandleCommand(Client& client, const std::string& command);
    bool SendDue(Client& client, std::chrono::steady_clock::time_point now);
    static bool SendLine(int fd, const std::string& json);
    static std::string TpvJson(const FakeTpv& report);
    void CountOpen(int delta);

    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    uint16_t m_port = 0;
    std::thread m_thread;

    mutable std::mutex m_mutex;  // guards everything below
    mutable std::condition_variable m_changed;
    bool m_stopping = false;
    std::vector<FakeTpv> m_reports;
    std::chrono::milliseconds m_interval{0};
    Repeat m_repeat = Repeat::Loop;
    unsigned m_scriptGeneration = 0;
    int m_accepted = 0;
    int m_open = 0;
    int m_sent = 0;
};

}  // namespace orvi::test
