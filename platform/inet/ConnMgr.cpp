// Connection Manager entry points: argument and handle checks, the table of
// connections, and status notifications. See connmgr.h for the contract.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "ConnMgrInternal.h"
#include "kernel/internal.h"
#include "winuser.h"

namespace orvi::connmgr {
namespace {

// A status different from every real one, so the first observation posts.
constexpr DWORD kNothingPosted = 0xFFFFFFFFu;

struct Connection {
    GUID guid{};
    HWND hWnd = nullptr;
    UINT uMsg = 0;
    LPARAM lParam = 0;
    DWORD lastPosted = kNothingPosted;
};

// Handles are numbers from a counter, never reused within the process, so a
// released handle stays invalid.
class ConnectionTable {
public:
    HANDLE Insert(const Connection& connection) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 4;
        m_connections.emplace(m_next, connection);
        return reinterpret_cast<HANDLE>(m_next);
    }
    bool Find(HANDLE h, Connection* out) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_connections.find(reinterpret_cast<uintptr_t>(h));
        if (it == m_connections.end())
            return false;
        *out = it->second;
        return true;
    }
    // Records `status` as posted; false when it was posted already (or the
    // connection is gone), so each change is posted once.
    bool MarkPosted(HANDLE h, DWORD status) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_connections.find(reinterpret_cast<uintptr_t>(h));
        if (it == m_connections.end() || it->second.lastPosted == status)
            return false;
        it->second.lastPosted = status;
        return true;
    }
    bool Remove(HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_connections.erase(reinterpret_cast<uintptr_t>(h)) != 0;
    }

private:
    std::mutex m_mutex;
    uintptr_t m_next = 0x4000;
    std::unordered_map<uintptr_t, Connection> m_connections;
};

ConnectionTable& Connections() {
    static ConnectionTable table;
    return table;
}

DWORD StatusAndNotify(HANDLE h, const Connection& connection) {
    const DWORD status = EvaluateStatus(connection.guid);
    if (connection.hWnd && Connections().MarkPosted(h, status)) {
        if (!PostMessageW(connection.hWnd, connection.uMsg, status, connection.lParam))
            orvi::kernel::Trace("ConnMgr: status 0x%x not posted (error %u)", status,
                                GetLastError());
    }
    return status;
}

bool IsAbsoluteUrl(LPCWSTR url) {
    size_t i = 0;
    while ((url[i] >= u'a' && url[i] <= u'z') || (url[i] >= u'A' && url[i] <= u'Z') ||
           (i > 0 && ((url[i] >= u'0' && url[i] <= u'9') || url[i] == u'+' || url[i] == u'-' ||
                      url[i] == u'.')))
        ++i;
    return i > 0 && url[i] == u':' && url[i + 1] == u'/' && url[i + 2] == u'/';
}

}  // namespace
}  // namespace orvi::connmgr

using namespace orvi::connmgr;

HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex) {
    if (!pwszURL || !pguid || !IsAbsoluteUrl(pwszURL))
        return E_INVALIDARG;
    const std::vector<Destination> destinations = ListDestinations();
    const char* mapping = std::getenv("ORVI_CONNMGR_MAPURL");
    for (size_t i = 0; i < destinations.size(); ++i) {
        const bool chosen = mapping ? destinations[i].name == mapping : destinations[i].up;
        if (chosen) {
            *pguid = destinations[i].guid;
            if (pdwIndex)
                *pdwIndex = static_cast<DWORD>(i);
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT ConnMgrEnumDestinations(int nIndex, CONNMGR_DESTINATION_INFO* pDestInfo) {
    if (!pDestInfo || nIndex < 0)
        return E_INVALIDARG;
    const std::vector<Destination> destinations = ListDestinations();
    if (static_cast<size_t>(nIndex) >= destinations.size())
        return E_FAIL;
    const Destination& d = destinations[static_cast<size_t>(nIndex)];
    std::memset(pDestInfo, 0, sizeof(*pDestInfo));
    pDestInfo->guid = d.guid;
    const std::u16string name = orvi::kernel::Utf8ToUtf16(d.name);
    const size_t count = name.size() < CONNMGR_MAX_DESC ? name.size() : CONNMGR_MAX_DESC - 1;
    std::memcpy(pDestInfo->szDescription, name.data(), count * sizeof(WCHAR));
    pDestInfo->fSecure = FALSE;
    return S_OK;
}

HRESULT ConnMgrEstablishConnection(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection) {
    if (phConnection)
        *phConnection = nullptr;
    if (!pConnInfo || !phConnection || pConnInfo->cbSize != sizeof(CONNMGR_CONNECTIONINFO))
        return E_INVALIDARG;
    Connection connection;
    connection.guid = (pConnInfo->dwParams & CONNMGR_PARAM_GUIDDESTNET) ? pConnInfo->guidDestNet
                                                                        : IID_DestNetInternet;
    connection.hWnd = pConnInfo->hWnd;
    connection.uMsg = pConnInfo->uMsg;
    connection.lParam = pConnInfo->lParam;
    const HANDLE h = Connections().Insert(connection);
    StatusAndNotify(h, connection);
    *phConnection = h;
    return S_OK;
}

HRESULT ConnMgrConnectionStatus(HANDLE hConnection, DWORD* pdwStatus) {
    if (!pdwStatus)
        return E_INVALIDARG;
    Connection connection;
    if (!Connections().Find(hConnection, &connection))
        return E_HANDLE;
    *pdwStatus = StatusAndNotify(hConnection, connection);
    return S_OK;
}

HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG /*lCache*/) {
    return Connections().Remove(hConnection) ? S_OK : E_HANDLE;
}

HRESULT ConnMgrProviderMessage(HANDLE hConnection, const GUID* pguidProvider, DWORD* /*pdwIndex*/,
                               DWORD /*dwMsg1*/, DWORD /*dwMsg2*/, PBYTE pParams,
                               ULONG cbParamSize) {
    if (!pguidProvider)
        return E_INVALIDARG;
    if (*pguidProvider != IID_ConnPrv_IProxyExtension)
        return E_NOTIMPL;
    if (!pParams || cbParamSize != sizeof(PROXY_CONFIG))
        return E_INVALIDARG;
    Connection connection;
    if (!Connections().Find(hConnection, &connection))
        return E_HANDLE;
    auto* config = reinterpret_cast<PROXY_CONFIG*>(pParams);
    switch (config->dwType) {
    case CONNMGR_FLAG_PROXY_HTTP:
    case CONNMGR_FLAG_PROXY_WAP:
    case CONNMGR_FLAG_PROXY_SOCKS4:
    case CONNMGR_FLAG_PROXY_SOCKS5:
        FillProxyConfig(connection.guid, *config);
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}
