// Destination networks of the Connection Manager: the host's interfaces, or
// the scripted list of $ORVI_CONNMGR_DESTINATIONS, and the status a
// connection to one of them has.
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ConnMgrInternal.h"

namespace orvi::connmgr {
namespace {

uint64_t Fnv1a(std::string_view text, uint64_t basis) {
    uint64_t hash = basis;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::vector<Destination> HostInterfaces() {
    std::vector<Destination> result;
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return result;
    // getifaddrs lists an interface once per address family; the first entry
    // fixes its place in the enumeration.
    for (ifaddrs* i = interfaces; i; i = i->ifa_next) {
        if (!i->ifa_name || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        const std::string name = i->ifa_name;
        bool known = false;
        for (const Destination& d : result)
            known = known || d.name == name;
        if (known)
            continue;
        Destination d;
        d.name = name;
        d.guid = GuidForName(name);
        const unsigned active = IFF_UP | IFF_RUNNING;
        d.up = (i->ifa_flags & active) == active;
        result.push_back(std::move(d));
    }
    freeifaddrs(interfaces);
    return result;
}

std::vector<Destination> ScriptedDestinations(std::string_view list) {
    std::vector<Destination> result;
    while (!list.empty()) {
        const size_t end = list.find(';');
        std::string_view entry = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        if (entry.empty())
            continue;
        Destination d;
        const size_t equals = entry.find('=');
        d.name = std::string(entry.substr(0, equals));
        if (equals != std::string_view::npos)
            d.proxy = std::string(entry.substr(equals + 1));
        d.guid = GuidForName(d.name);
        d.up = true;
        d.scripted = true;
        result.push_back(std::move(d));
    }
    return result;
}

std::optional<DWORD> ScriptedResult() {
    const char* value = std::getenv("ORVI_CONNMGR_RESULT");
    if (!value)
        return std::nullopt;
    if (std::strcmp(value, "waiting") == 0)
        return CONNMGR_STATUS_WAITINGCONNECTION;
    if (std::strcmp(value, "failed") == 0)
        return CONNMGR_STATUS_CONNECTIONFAILED;
    if (std::strcmp(value, "connected") == 0)
        return CONNMGR_STATUS_CONNECTED;
    return std::nullopt;
}

}  // namespace

GUID GuidForName(const std::string& name) {
    const uint64_t high = Fnv1a(name, 0xcbf29ce484222325ull);
    const uint64_t low = Fnv1a(name, 0x84222325cbf29ce4ull);
    GUID guid;
    guid.Data1 = static_cast<DWORD>(high >> 32);
    guid.Data2 = static_cast<WORD>(high >> 16);
    // Version 8 (name-derived, own scheme) and the standard variant, so that
    // the value never collides with a well-known network's GUID by pattern.
    guid.Data3 = static_cast<WORD>((high & 0x0FFF) | 0x8000);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<BYTE>(low >> (56 - 8 * i));
    guid.Data4[0] = static_cast<BYTE>((guid.Data4[0] & 0x3F) | 0x80);
    return guid;
}

std::vector<Destination> ListDestinations() {
    if (const char* scripted = std::getenv("ORVI_CONNMGR_DESTINATIONS"))
        return ScriptedDestinations(scripted);
    return HostInterfaces();
}

DWORD EvaluateStatus(const GUID& guid) {
    if (std::optional<DWORD> scripted = ScriptedResult())
        return *scripted;
    const std::vector<Destination> destinations = ListDestinations();
    if (guid == IID_DestNetInternet) {
        for (const Destination& d : destinations) {
            if (d.up)
                return CONNMGR_STATUS_CONNECTED;
        }
        return CONNMGR_STATUS_WAITINGFORPATH;
    }
    for (const Destination& d : destinations) {
        if (d.guid == guid)
            return d.up ? CONNMGR_STATUS_CONNECTED : CONNMGR_STATUS_WAITINGFORPATH;
    }
    return CONNMGR_STATUS_NOPATHTODESTINATION;
}

}  // namespace orvi::connmgr
