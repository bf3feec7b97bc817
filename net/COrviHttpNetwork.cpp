// Bringing up a data path through the Connection Manager when the device has
// no network address of its own.
#include <cstring>

#include "COrviHttp.h"
#include "OrviHttpOperation.h"
#include "DeviceInfo.h"
#include "OrviDebug.h"

namespace {

// A deployment value: the service's well-known HTTP endpoint (the station
// directory server), which the Connection Manager maps to the network that
// reaches it.
constexpr WCHAR kServiceUrl[] = u"http://127.0.0.1:8642/";

constexpr DWORD kConnectionPollMs = 500;
constexpr DWORD kRequestFlags = CONNMGR_FLAG_PROXY_HTTP | CONNMGR_FLAG_PROXY_WAP;

DWORD GuidTail(const GUID& guid) {
    DWORD word;
    std::memcpy(&word, guid.Data4, sizeof(word));
    return word;
}

bool IsFailureStatus(DWORD status) {
    return (status >= CONNMGR_STATUS_DISCONNECTED && status <= CONNMGR_STATUS_NOPATHTODESTINATION) ||
           status == CONNMGR_STATUS_PHONEOFF || status == CONNMGR_STATUS_EXCLUSIVECONFLICT ||
           status == CONNMGR_STATUS_CONNECTIONLINKFAILED;
}

bool EndsWithPort80(LPCWSTR server) {
    const size_t length = wcslen(server);
    return length >= 3 && wcscmp(server + length - 3, u":80") == 0;
}

}  // namespace

int COrviHttp::EnsureNetwork(LPCWSTR probeUrl) {
    COrviHttpOperation operation(*this);
    if (g_deviceInfo.IsDesktopPassThrough())
        return OpenDirect();
    if (g_deviceInfo.HasNetworkAddress(FALSE))
        return kOk;
    const int result = EstablishConnection();
    if (result != kViaProxy)
        return result;
    if (probeUrl && *probeUrl) {
        if (SendGet(probeUrl) == kCancelled)
            return kCancelled;
        Close();  // the connection stays cached, so the link stays up
    }
    return kOk;
}

// The desktop's pass-through link takes no proxy, whatever the host's
// settings say.
int COrviHttp::OpenDirect() {
    const int result = OpenInternet(nullptr);
    if (result != kOk)
        return result;
    INTERNET_PROXY_INFO direct{INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr};
    InternetSetOptionW(m_hInternet, INTERNET_OPTION_PROXY, &direct, sizeof(direct));
    return kOk;
}

int COrviHttp::EstablishConnection() {
    GUID mapped{};
    const HRESULT hr = ConnMgrMapURL(kServiceUrl, &mapped, nullptr);
    if (SUCCEEDED(hr)) {
        const int result = EstablishTo(mapped);
        return result == kOk ? FinishConnection(mapped) : result;
    }
    const GUID& saved = m_guidDestination;
    if (saved.Data1 != 0 && saved.Data2 != 0 && saved.Data3 != 0) {
        const GUID destination = saved;
        const int result = EstablishTo(destination);
        return result == kOk ? FinishConnection(destination) : result;
    }
    return EnumerateDestinations(hr);
}

int COrviHttp::EstablishTo(const GUID& destination) {
    ReleaseConnection(1);
    CONNMGR_CONNECTIONINFO info{};
    info.cbSize = sizeof(info);
    info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
    info.dwFlags = kRequestFlags;
    info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
    info.guidDestNet = destination;
    info.hWnd = m_hWndOwner;
    info.uMsg = UM_CONNMGR_STATUS;
    info.lParam = reinterpret_cast<LPARAM>(this);
    const HRESULT hr = ConnMgrEstablishConnection(&info, &m_hConnection);
    if (FAILED(hr)) {
        m_hConnection = nullptr;
        Log(u"ConnMgrEstablishConnection failed by %08x-%08x-%08x-%08x. hr=%ld\r\n", destination.Data1,
            DWORD{destination.Data2}, DWORD{destination.Data3}, GuidTail(destination), LONG{hr});
        return kNetworkFailure;
    }
    return kOk;
}

int COrviHttp::EnumerateDestinations(HRESULT mapResult) {
    Log(u"ConnMgrMapURL failed(%ld), ConnMgrEnumDestinations enum dest\r\n", LONG{mapResult});
    CONNMGR_DESTINATION_INFO info{};
    for (int index = 0; SUCCEEDED(ConnMgrEnumDestinations(index, &info)); ++index) {
        bool qualified = false;
        const int result = TryDestination(info.guid, info.szDescription, &qualified);
        if (qualified || result == kCancelled)
            return result;
    }
    const int result = EstablishTo(IID_DestNetInternet);
    return result == kOk ? FinishConnection(IID_DestNetInternet) : result;
}

// A destination qualifies when it brings a proxy on port 80, the sign of an
// operator's web gateway.
int COrviHttp::TryDestination(const GUID& destination, LPCWSTR description, bool* qualified) {
    Log(u"Enum dest: %s %08x-%08x-%08x-%08x\r\n", description, destination.Data1, DWORD{destination.Data2},
        DWORD{destination.Data3}, GuidTail(destination));
    int result = EstablishTo(destination);
    if (result != kOk)
        return result;
    if ((result = WaitForConnection(m_dwConnectionLimit)) != kOk) {
        ReleaseConnection(0);
        return result;
    }
    PROXY_CONFIG config{};
    if (!QueryProxy(&config) || !config.dwEnable || !config.szProxyServer[0] ||
        !EndsWithPort80(config.szProxyServer)) {
        ReleaseConnection(0);
        return kOk;
    }
    *qualified = true;
    Log(u"connection: %08x-%08x-%08x-%08x proxy=%s\r\n", destination.Data1, DWORD{destination.Data2},
        DWORD{destination.Data3}, GuidTail(destination), static_cast<LPCWSTR>(config.szProxyServer));
    result = ReopenThroughProxy(config.szProxyServer);
    m_guidDestination = destination;
    return result;
}

int COrviHttp::FinishConnection(const GUID& destination) {
    const int result = WaitForConnection(m_dwConnectionLimit);
    if (result != kOk)
        return result;
    m_guidDestination = destination;
    PROXY_CONFIG config{};
    if (QueryProxy(&config) && config.szProxyServer[0])
        return ReopenThroughProxy(config.szProxyServer);
    return result;
}

bool COrviHttp::QueryProxy(PROXY_CONFIG* config) {
    config->dwType = CONNMGR_FLAG_PROXY_HTTP;
    return SUCCEEDED(ConnMgrProviderMessage(m_hConnection, &IID_ConnPrv_IProxyExtension, nullptr, 0, 0,
                                            reinterpret_cast<PBYTE>(config), sizeof(*config)));
}

// From here on the internet handle stays on this proxy until Close.
int COrviHttp::ReopenThroughProxy(LPCWSTR proxy) {
    WCHAR server[CMPROXY_PROXYSERVER_MAXSIZE];
    StringCchCopyW(server, CMPROXY_PROXYSERVER_MAXSIZE, proxy);
    Close();
    StringCchCopyW(m_szProxy, 260, server);
    return OpenInternet(m_szProxy) == kOk ? kViaProxy : kNetworkFailure;
}

int COrviHttp::WaitForConnection(DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (m_hConnection) {
        if (limitMs != INFINITE && GetTickCount() - start >= limitMs)
            return kTimeout;
        DWORD status = 0;
        if (FAILED(ConnMgrConnectionStatus(m_hConnection, &status)))
            break;
        if (status == CONNMGR_STATUS_CONNECTED)
            return kOk;
        if (IsFailureStatus(status))
            break;
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kConnectionPollMs, QS_ALLINPUT);
        } else if (msg.message == UM_HTTP_CANCEL && !msg.hwnd) {
            if (m_hWndOwner)
                PostMessageW(m_hWndOwner, UM_HTTP_CANCEL, msg.wParam, msg.lParam);
            m_dwAckThread = static_cast<DWORD>(msg.lParam);
            return kCancelled;
        } else if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return kCancelled;
        } else if (msg.message != UM_CONNMGR_STATUS) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    ReleaseConnection(0);
    return kNetworkFailure;
}

void COrviHttp::ReleaseConnection(LONG cache) {
    if (HANDLE connection = std::exchange(m_hConnection, nullptr))
        ConnMgrReleaseConnection(connection, cache);
}
