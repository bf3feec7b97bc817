// Host-name calls: the device's own name and address, the desktop
// pass-through peer, and names the host resolves (only local ones here).
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "platform.h"

using orvi::test::ScopedEnv;

namespace {

using Ipv4 = std::array<unsigned char, 4>;
constexpr DWORD kUntouched = 0xC0DE;

// The one IPv4 address of an answer; a wrong shape fails the test.
Ipv4 OnlyAddress(const ws::hostent* entry) {
    Ipv4 bytes{};
    EXPECT_EQ(entry->h_addrtype, AF_INET);
    EXPECT_EQ(entry->h_length, 4);
    EXPECT_EQ(entry->h_aliases[0], nullptr);
    EXPECT_EQ(entry->h_addr_list[1], nullptr);
    std::memcpy(bytes.data(), entry->h_addr, bytes.size());
    return bytes;
}

// The host's interface list as the oracle: the first interface that is up
// and running, not a loopback, outside 0/8 and 127/8; else 127.0.0.1.
Ipv4 ExpectedOwnAddress() {
    ifaddrs* list = nullptr;
    Ipv4 expected{127, 0, 0, 1};
    for (ifaddrs* i = getifaddrs(&list) == 0 ? list : nullptr; i; i = i->ifa_next) {
        const unsigned up = IFF_UP | IFF_RUNNING;
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & up) != up ||
            (i->ifa_flags & IFF_LOOPBACK))
            continue;
        Ipv4 bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, 4);
        if (bytes[0] != 0 && bytes[0] != 127) {
            expected = bytes;
            break;
        }
    }
    freeifaddrs(list);
    return expected;
}

}  // namespace

TEST(gethostname, CopiesTheNameWithItsNulOrFails) {
    ScopedEnv name("ORVI_HOST_NAME", "orvi-device");
    char buffer[128];
    SetLastError(kUntouched);
    ASSERT_EQ(ws::gethostname(buffer, 12), 0);  // exactly the name and its NUL
    EXPECT_STREQ(buffer, "orvi-device");
    EXPECT_EQ(ws::WSAGetLastError(), static_cast<int>(kUntouched));
    for (char* target : {buffer, static_cast<char*>(nullptr)}) {
        SetLastError(kUntouched);
        EXPECT_EQ(ws::gethostname(target, target ? 11 : 128), SOCKET_ERROR);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAEFAULT));
    }

    ScopedEnv noName("ORVI_HOST_NAME", "");
    EXPECT_EQ(ws::gethostname(buffer, sizeof(buffer)), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAENETDOWN);
}

TEST(gethostbyname, OwnNameGivesTheFirstActiveNonLoopbackAddress) {
    ScopedEnv noOverride("ORVI_HOST_NAME", nullptr);
    char own[256] = {};
    ASSERT_EQ(ws::gethostname(own, sizeof(own)), 0);
    std::string upper = own;
    for (char& c : upper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    // The host resolver may map the name to 127.0.1.1; the device never does.
    for (const char* name : {static_cast<const char*>(own), upper.c_str(), "",
                             static_cast<const char*>(nullptr)}) {
        SetLastError(kUntouched);
        ws::hostent* entry = ws::gethostbyname(name);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(OnlyAddress(entry), ExpectedOwnAddress());
        EXPECT_STREQ(entry->h_name, own);
        EXPECT_EQ(GetLastError(), kUntouched);
    }
    ScopedEnv name("ORVI_HOST_NAME", "orvi-handheld-7");
    ws::hostent* entry = ws::gethostbyname("ORVI-Handheld-7");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(OnlyAddress(entry), ExpectedOwnAddress());
    EXPECT_STREQ(entry->h_name, "orvi-handheld-7");
}

TEST(gethostbyname, PppPeerExistsOnlyWhileTheVariableNamesAnAddress) {
    for (const char* notAnAddress : {static_cast<const char*>(nullptr), "", "desk", "10.0.0"}) {
        ScopedEnv peer("ORVI_PPP_PEER", notAnAddress);
        SetLastError(kUntouched);
        EXPECT_EQ(ws::gethostbyname("ppp_peer"), nullptr);
        EXPECT_EQ(ws::WSAGetLastError(), WSAHOST_NOT_FOUND);
    }
    ScopedEnv peer("ORVI_PPP_PEER", "192.168.55.101");
    for (const char* name : {"ppp_peer", "PPP_Peer"}) {
        ws::hostent* entry = ws::gethostbyname(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(OnlyAddress(entry), (Ipv4{192, 168, 55, 101})) << name;
    }
}

TEST(gethostbyname, OtherNamesGoThroughTheHostResolver) {
    ws::hostent* entry = ws::gethostbyname("localhost");
    ASSERT_NE(entry, nullptr) << ws::WSAGetLastError();
    EXPECT_EQ(static_cast<unsigned char>(entry->h_addr[0]), 127);
    entry = ws::gethostbyname("10.20.30.40");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(OnlyAddress(entry), (Ipv4{10, 20, 30, 40}));
    EXPECT_STREQ(entry->h_name, "10.20.30.40");
}

TEST(gethostbyname, EachThreadKeepsItsOwnResult) {
    ScopedEnv peer("ORVI_PPP_PEER", "169.254.2.1");
    ws::hostent* mine = ws::gethostbyname("ppp_peer");
    ASSERT_NE(mine, nullptr);
    Ipv4 other{};
    std::thread([&] {
        if (ws::hostent* entry = ws::gethostbyname("10.1.2.3"))
            other = OnlyAddress(entry);
    }).join();
    EXPECT_EQ(other, (Ipv4{10, 1, 2, 3}));
    EXPECT_EQ(OnlyAddress(mine), (Ipv4{169, 254, 2, 1}));
    EXPECT_STREQ(mine->h_name, "ppp_peer");
}

TEST(WSAStartup, CountsUsersAndRefusesVersionsBelowOneOne) {
    ws::WSADATA data;
    EXPECT_EQ(ws::WSAStartup(MAKEWORD(1, 0), &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(ws::WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
    ASSERT_EQ(ws::WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    SetLastError(kUntouched);
    EXPECT_EQ(ws::WSACleanup(), 0);
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(ws::WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSANOTINITIALISED);
}
