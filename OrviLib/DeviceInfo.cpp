#include "DeviceInfo.h"

#include "wsapi.h"

CDeviceInfo g_deviceInfo;

namespace {

// The first IPv4 address a name resolves to, as four octets; false when it
// does not resolve.
bool ResolveFirst(const char* name, BYTE octets[4]) {
    ws::hostent* host = ws::gethostbyname(name);
    if (!host || !host->h_addr_list || !host->h_addr_list[0])
        return false;
    for (int i = 0; i < 4; ++i)
        octets[i] = static_cast<BYTE>(host->h_addr_list[0][i]);
    return true;
}

}  // namespace

CDeviceInfo::CDeviceInfo() {
    m_version.dwOSVersionInfoSize = sizeof(m_version);
    GetVersionExW(&m_version);
}

LONG CDeviceInfo::PlatformKind() {
    LONG known = m_platformKind.load(std::memory_order_acquire);
    if (known != KindUnknown)
        return known;
    WCHAR type[MAX_PATH] = {};
    if (!SystemParametersInfoW(SPI_GETPLATFORMTYPE, sizeof(type), type, 0))
        return KindUnknown;  // ask again next time
    for (WCHAR* p = type; *p; ++p)
        *p = towlower(*p);
    LONG kind = KindOther;
    if (wcscmp(type, u"smartphone") == 0)
        kind = KindSmartphone;
    else if (wcscmp(type, u"pocketpc") == 0)
        kind = KindPocketPC;
    else if (wcscmp(type, u"palm pc2") == 0)
        kind = KindPalm;
    m_platformKind.store(kind, std::memory_order_release);
    return kind;
}

LPCWSTR CDeviceInfo::PlatformShortName() {
    switch (PlatformKind()) {
    case KindPocketPC: return u"PPC";
    case KindSmartphone: return u"SP";
    case KindPalm: return u"PALM";
    case KindOther: return u"wince";
    default: return u"";
    }
}

LPCWSTR CDeviceInfo::OemInfo() {
    std::call_once(m_oemOnce, [this] {
        WCHAR text[128] = {};
        m_oemInfo[0] = u' ';
        if (SystemParametersInfoW(SPI_GETOEMINFO, sizeof(text), text, 0) && text[0])
            StringCchCopyW(m_oemInfo, 128, text);
    });
    return m_oemInfo;
}

BOOL CDeviceInfo::HasNetworkAddress(BOOL usePeerFallback) {
    char name[128] = {};
    const char* lookup = name;
    if (ws::gethostname(name, sizeof(name)) != 0) {
        if (!usePeerFallback)
            return FALSE;
        lookup = "ppp_peer";
    }
    BYTE address[4];
    if (!ResolveFirst(lookup, address))
        return FALSE;
    return address[0] != 0 && address[0] != 127 ? TRUE : FALSE;
}

BOOL CDeviceInfo::IsDesktopPassThrough() {
    BYTE address[4];
    if (!ResolveFirst("ppp_peer", address))
        return FALSE;
    if (OsMajorVersion() >= 5)
        return address[0] == 169 && address[1] == 254 ? TRUE : FALSE;
    return address[0] == 192 && address[1] == 168 ? TRUE : FALSE;
}
