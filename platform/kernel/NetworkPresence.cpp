// Network presence of the device: the sockets service's start-up count, the
// host name, and name resolution with the device's own name and the desktop
// pass-through peer answered here (see wsapi.h).
//
// The host's socket headers come first: wsapi.h spells its shared macros the
// same way and only adds what they lack.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "internal.h"
#include "wsapi.h"

namespace orvi::kernel {
namespace {

using Ipv4 = std::array<char, 4>;

constexpr std::string_view kPeerName = "ppp_peer";
constexpr Ipv4 kLoopback{127, 0, 0, 1};

std::atomic<int> g_startupCount{0};

// The answer to one gethostbyname call, owned by the calling thread. The
// hostent's pointers point into the other members, so the object is filled
// in place and never copied.
struct HostEntryStorage {
    std::string name;
    std::vector<Ipv4> addresses;
    std::vector<char*> addressList;
    char* aliases[1] = {nullptr};
    ws::hostent entry{};

    ws::hostent* Fill(std::string hostName, std::vector<Ipv4> found) {
        name = std::move(hostName);
        addresses = std::move(found);
        addressList.clear();
        for (Ipv4& address : addresses)
            addressList.push_back(address.data());
        addressList.push_back(nullptr);
        entry.h_name = name.data();
        entry.h_aliases = aliases;
        entry.h_addrtype = AF_INET;
        entry.h_length = static_cast<short>(sizeof(Ipv4));
        entry.h_addr_list = addressList.data();
        return &entry;
    }
};

thread_local HostEntryStorage t_hostEntry;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

Ipv4 ToIpv4(const in_addr& address) {
    Ipv4 bytes;
    std::memcpy(bytes.data(), &address.s_addr, bytes.size());
    return bytes;
}

// The device's name: $ORVI_HOST_NAME when set (empty: the device has none),
// else the host's.
std::string HostName() {
    if (const char* value = std::getenv("ORVI_HOST_NAME"))
        return value;
    char name[256] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0) {
        Trace("ws: the host has no host name (errno %d)", errno);
        return {};
    }
    return name;
}

// The first interface address that is up, running, not a loopback and not
// 0.x or 127.x, in the host's interface order; 127.0.0.1 when there is none.
Ipv4 OwnAddress() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        Trace("ws: no interface list (errno %d); answering 127.0.0.1", errno);
        return kLoopback;
    }
    std::optional<Ipv4> found;
    for (ifaddrs* i = interfaces; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned active = IFF_UP | IFF_RUNNING;
        if ((i->ifa_flags & active) != active || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        Ipv4 address = ToIpv4(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr);
        if (address[0] != 0 && address[0] != 127)
            found = address;
    }
    freeifaddrs(interfaces);
    return found.value_or(kLoopback);
}

// The pass-through peer named by $ORVI_PPP_PEER; null with WSAHOST_NOT_FOUND
// while there is none.
ws::hostent* ResolvePeer(std::string_view queried) {
    const char* value = std::getenv("ORVI_PPP_PEER");
    in_addr address{};
    if (!value || !*value || inet_pton(AF_INET, value, &address) != 1) {
        if (value && *value)
            Trace("ws: ORVI_PPP_PEER \"%s\" is not a dotted IPv4 address", value);
        SetLastError(WSAHOST_NOT_FOUND);
        return nullptr;
    }
    return t_hostEntry.Fill(std::string(queried), {ToIpv4(address)});
}

DWORD ErrorFromResolver(int code) {
    switch (code) {
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        return WSANO_DATA;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return WSANO_RECOVERY;
    }
}

ws::hostent* ResolveThroughHost(const char* name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* results = nullptr;
    if (int code = getaddrinfo(name, nullptr, &hints, &results); code != 0) {
        SetLastError(ErrorFromResolver(code));
        return nullptr;
    }
    std::vector<Ipv4> addresses;
    for (addrinfo* r = results; r; r = r->ai_next) {
        if (r->ai_family != AF_INET || !r->ai_addr)
            continue;
        Ipv4 address = ToIpv4(reinterpret_cast<const sockaddr_in*>(r->ai_addr)->sin_addr);
        bool seen = false;
        for (const Ipv4& a : addresses)
            seen = seen || a == address;
        if (!seen)
            addresses.push_back(address);
    }
    std::string canonical = results->ai_canonname ? results->ai_canonname : name;
    freeaddrinfo(results);
    if (addresses.empty()) {
        SetLastError(WSANO_DATA);
        return nullptr;
    }
    return t_hostEntry.Fill(std::move(canonical), std::move(addresses));
}

}  // namespace
}  // namespace orvi::kernel

namespace ws {

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    using namespace orvi::kernel;
    const BYTE major = LOBYTE(wVersionRequested);
    const BYTE minor = HIBYTE(wVersionRequested);
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (!lpWSAData)
        return WSAEFAULT;
    std::memset(lpWSAData, 0, sizeof(*lpWSAData));
    lpWSAData->wVersion = major >= 2 ? MAKEWORD(2, 2) : wVersionRequested;
    lpWSAData->wHighVersion = MAKEWORD(2, 2);
    std::strncpy(lpWSAData->szDescription, "Orvi host-name sockets", WSADESCRIPTION_LEN);
    std::strncpy(lpWSAData->szSystemStatus, "Running", WSASYS_STATUS_LEN);
    g_startupCount.fetch_add(1);
    return 0;
}

int WSACleanup() {
    using namespace orvi::kernel;
    int count = g_startupCount.load();
    do {
        if (count == 0) {
            SetLastError(WSANOTINITIALISED);
            return SOCKET_ERROR;
        }
    } while (!g_startupCount.compare_exchange_weak(count, count - 1));
    return 0;
}

int WSAGetLastError() {
    return static_cast<int>(GetLastError());
}

void WSASetLastError(int iError) {
    SetLastError(static_cast<DWORD>(iError));
}

int gethostname(char* name, int namelen) {
    using namespace orvi::kernel;
    const std::string own = HostName();
    if (own.empty()) {
        SetLastError(WSAENETDOWN);
        return SOCKET_ERROR;
    }
    if (!name || namelen <= 0 || own.size() + 1 > static_cast<size_t>(namelen)) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, own.c_str(), own.size() + 1);
    return 0;
}

hostent* gethostbyname(const char* name) {
    using namespace orvi::kernel;
    const std::string own = HostName();
    if (!name || !*name || (!own.empty() && EqualsIgnoringCase(name, own)))
        return t_hostEntry.Fill(own.empty() ? "localhost" : own, {OwnAddress()});
    if (EqualsIgnoringCase(name, kPeerName))
        return ResolvePeer(name);
    return ResolveThroughHost(name);
}

}  // namespace ws
