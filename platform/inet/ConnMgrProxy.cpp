// Proxy configuration of a connection, from the host's proxy environment or
// the scripted destination list.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ConnMgrInternal.h"
#include "kernel/internal.h"

namespace orvi::connmgr {
namespace {

template <size_t N>
void CopyText(std::string_view text, WCHAR (&field)[N]) {
    const std::u16string wide = orvi::kernel::Utf8ToUtf16(text);
    const size_t count = wide.size() < N ? wide.size() : N - 1;
    std::memcpy(field, wide.data(), count * sizeof(WCHAR));
    field[count] = 0;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

const char* FirstSet(const char* a, const char* b) {
    const char* value = std::getenv(a);
    return value ? value : std::getenv(b);
}

}  // namespace

void ParseProxyText(const std::string& text, PROXY_CONFIG& config) {
    std::string_view rest = Trim(text);
    const size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos)
        rest.remove_prefix(scheme + 3);
    rest = rest.substr(0, rest.find('/'));
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view user = rest.substr(0, at);
        const size_t colon = user.find(':');
        CopyText(user.substr(0, colon), config.szUsername);
        if (colon != std::string_view::npos)
            CopyText(user.substr(colon + 1), config.szPassword);
        rest.remove_prefix(at + 1);
    }
    CopyText(rest, config.szProxyServer);
}

void FillProxyOverride(const std::string& noProxy, PROXY_CONFIG& config) {
    std::string joined;
    std::string_view list = noProxy;
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view name = Trim(list.substr(0, comma));
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (name.empty())
            continue;
        const size_t needed = joined.size() + (joined.empty() ? 0 : 1) + name.size();
        // A name cut short would exempt the wrong hosts: leave it out.
        if (needed >= CMPROXY_PROXYOVERRIDE_MAXSIZE)
            continue;
        if (!joined.empty())
            joined += ';';
        joined += name;
    }
    CopyText(joined, config.szProxyOverride);
}

void FillProxyConfig(const GUID& guid, PROXY_CONFIG& config) {
    const DWORD type = config.dwType;
    std::memset(&config, 0, sizeof(config));
    config.dwType = type;
    if (type != CONNMGR_FLAG_PROXY_HTTP)
        return;
    std::string proxy;
    if (std::getenv("ORVI_CONNMGR_DESTINATIONS")) {
        const std::vector<Destination> destinations = ListDestinations();
        for (const Destination& d : destinations) {
            if (d.guid == guid || (guid == IID_DestNetInternet && &d == &destinations.front())) {
                proxy = d.proxy;
                break;
            }
        }
    } else if (const char* value = FirstSet("http_proxy", "HTTP_PROXY")) {
        proxy = value;
        if (const char* noProxy = FirstSet("no_proxy", "NO_PROXY"))
            FillProxyOverride(noProxy, config);
    }
    ParseProxyText(proxy, config);
    if (config.szProxyServer[0] != 0) {
        config.dwEnable = TRUE;
    } else {
        std::memset(&config, 0, sizeof(config));
        config.dwType = type;
    }
}

}  // namespace orvi::connmgr
