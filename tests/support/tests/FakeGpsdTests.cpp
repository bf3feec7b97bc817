// The fake gpsd as a raw client sees it: the protocol, the script, Stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "FakeGpsd.h"

using orvi::test::FakeGpsd;
using orvi::test::FakeTpv;
using namespace std::chrono_literals;

namespace {

constexpr char kTimedOut[] = "(timed out)";

class RawClient {
public:
    explicit RawClient(uint16_t port) {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }
    ~RawClient() { close(m_fd); }
    void Send(const std::string& text) {
        EXPECT_EQ(send(m_fd, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
    }
    // The next "\r\n"-terminated line; empty at the end of the stream,
    // kTimedOut after 5 s without one.
    std::string Line() {
        for (;;) {
            const size_t end = m_buffer.find("\r\n");
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 2);
                return line;
            }
            pollfd p{m_fd, POLLIN, 0};
            char chunk[512];
            if (poll(&p, 1, 5000) != 1)
                return kTimedOut;
            const ssize_t n = recv(m_fd, chunk, sizeof(chunk), 0);
            if (n <= 0)
                return "";
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};

bool Has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
}

}  // namespace

TEST(FakeGpsd, SpeaksTheWatchProtocolAndStreamsTheScript) {
    FakeGpsd gpsd;
    RawClient client(gpsd.Port());
    EXPECT_TRUE(Has(client.Line(), "\"class\":\"VERSION\""));
    client.Send("?WATCH={\"enable\":true,\"json\":true};");
    EXPECT_TRUE(Has(client.Line(), "\"class\":\"DEVICES\""));
    EXPECT_TRUE(Has(client.Line(), "\"class\":\"WATCH\""));

    FakeTpv fix;
    fix.lat = 37.5;
    fix.lon = -122.25;
    FakeTpv noFix;
    noFix.mode = 1;
    noFix.time = "";
    gpsd.SetScript({fix, noFix}, 10ms, FakeGpsd::Repeat::Once);
    const std::string first = client.Line();
    EXPECT_EQ(first.rfind("{\"class\":\"TPV\"", 0), 0u) << first;
    EXPECT_TRUE(Has(first, "\"lat\":37.500000000,\"lon\":-122.250000000")) << first;
    EXPECT_TRUE(Has(first, "\"time\":\"20")) << first;
    const std::string second = client.Line();
    EXPECT_TRUE(Has(second, "\"mode\":1")) << second;
    EXPECT_FALSE(Has(second, "\"lat\"") || Has(second, "\"time\"")) << second;
    EXPECT_EQ(gpsd.ReportsSent(), 2);
    EXPECT_EQ(gpsd.ConnectionsAccepted(), 1);
    EXPECT_EQ(gpsd.ConnectionsOpen(), 1);
}

TEST(FakeGpsd, StopEndsEveryConnection) {
    FakeGpsd gpsd;
    gpsd.SetScript({FakeTpv{}}, 10ms);
    RawClient watching(gpsd.Port());
    RawClient idle(gpsd.Port());
    watching.Send("?WATCH={\"enable\":true,\"json\":true};");
    EXPECT_TRUE(gpsd.WaitForOpenConnections(2, 5s));
    gpsd.Stop();
    EXPECT_EQ(gpsd.ConnectionsOpen(), 0);
    EXPECT_TRUE(Has(idle.Line(), "VERSION"));
    EXPECT_EQ(idle.Line(), "");
    std::string line;
    while (!(line = watching.Line()).empty())
        ASSERT_NE(line, kTimedOut);
    gpsd.Stop();
}
