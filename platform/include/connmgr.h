// Connection Manager: maps URLs to destination networks, brings up and
// releases data connections, and answers the proxy configuration of a
// connection.
//
// On this host the destination networks are the host's network interfaces
// (loopback excepted), each with a GUID derived from its name and the name as
// its description. A connection to an interface is connected while that
// interface is up and running; to an interface that is present but down it
// waits for a path (CONNMGR_STATUS_WAITINGFORPATH) and becomes connected when
// the interface comes up; to a GUID that names no destination it has no path
// (CONNMGR_STATUS_NOPATHTODESTINATION). The Internet network
// (IID_DestNetInternet) is always accepted: it is connected while any
// non-loopback interface is up. The status is worked out whenever it is asked
// for, so a connection follows the host.
//
// ConnMgrMapURL maps every absolute URL to the first destination that is up
// (its index in the enumeration goes to *pdwIndex); with none up it fails
// with E_FAIL.
//
// Proxy configuration (ConnMgrProviderMessage with IID_ConnPrv_IProxyExtension)
// follows the host's convention: $http_proxy, else $HTTP_PROXY, as
// "[scheme://][user[:password]@]host[:port][/]" becomes szProxyServer
// "host[:port]" (no port is invented) with the user and password in their
// fields; $no_proxy / $NO_PROXY becomes szProxyOverride with ';' between
// names. Only the HTTP proxy type is ever enabled.
//
// Environment read at every call, so that a test can script the manager
// (unset: the real host):
//   ORVI_CONNMGR_DESTINATIONS  replaces the host's interfaces by a list
//       "name[=proxy];name[=proxy];...". Each listed destination is up; its
//       proxy is the one given after '=' (none without it; the host's
//       $http_proxy is not consulted). The Internet network then takes the
//       proxy of the first listed destination.
//   ORVI_CONNMGR_MAPURL        "none": ConnMgrMapURL fails with E_FAIL;
//       a destination name: every URL maps to that destination.
//   ORVI_CONNMGR_RESULT        "connected", "waiting" (the status stays
//       CONNMGR_STATUS_WAITINGCONNECTION) or "failed" (the status is
//       CONNMGR_STATUS_CONNECTIONFAILED) for every connection, whatever the
//       destination.
//
// Status notifications: a connection made with a window (hWnd) posts uMsg to
// it with wParam = the new status and lParam = the request's lParam whenever
// a status different from the last one posted is observed (at establishment
// and at every ConnMgrConnectionStatus call).
//
// Records that hold pointers are checked against their size as compiled on
// this host: pass sizeof. All functions return HRESULTs: E_INVALIDARG for a
// null pointer or a wrong cbSize, E_HANDLE for a connection handle that is
// not (or no longer) valid. Every function is thread-safe.
#pragma once

#include "comapi.h"
#include "winerror.h"
#include "wintypes.h"

// ---- destination networks and providers --------------------------------------
ORVI_DEFINE_GUID(IID_DestNetInternet, 0x436EF144, 0xB4FB, 0x4863, 0xA0, 0x41, 0x8F, 0x90, 0x5A,
                 0x62, 0xC5, 0x72);
ORVI_DEFINE_GUID(IID_ConnPrv_IProxyExtension, 0xAF96B0BD, 0xA481, 0x482C, 0xA0, 0x94, 0xA8,
                 0x44, 0x87, 0x67, 0xA0, 0xC0);

// ---- connection requests ---------------------------------------------------------
#define CONNMGR_PARAM_GUIDDESTNET 0x1
#define CONNMGR_PARAM_MAXCOST 0x2
#define CONNMGR_PARAM_MINRCVBW 0x4
#define CONNMGR_PARAM_MAXCONNLATENCY 0x8

#define CONNMGR_FLAG_PROXY_HTTP 0x1
#define CONNMGR_FLAG_PROXY_WAP 0x2
#define CONNMGR_FLAG_PROXY_SOCKS4 0x4
#define CONNMGR_FLAG_PROXY_SOCKS5 0x8

#define CONNMGR_PRIORITY_VOICE 0x20000
#define CONNMGR_PRIORITY_USERINTERACTIVE 0x08000
#define CONNMGR_PRIORITY_USERBACKGROUND 0x02000
#define CONNMGR_PRIORITY_USERIDLE 0x00800
#define CONNMGR_PRIORITY_HIPRIBKGND 0x00200
#define CONNMGR_PRIORITY_IDLEBKGND 0x00080
#define CONNMGR_PRIORITY_EXTERNALINTERACTIVE 0x00020
#define CONNMGR_PRIORITY_LOWBKGND 0x00008
#define CONNMGR_PRIORITY_CACHED 0x00002
#define CONNMGR_PRIORITY_ALWAYS_ON 0x00001

// 64 bytes on the device; larger here because hWnd and lParam are 64-bit.
struct CONNMGR_CONNECTIONINFO {
    DWORD cbSize;
    DWORD dwParams;
    DWORD dwFlags;
    DWORD dwPriority;
    BOOL bExclusive;
    BOOL bDisabled;
    GUID guidDestNet;
    HWND hWnd;
    UINT uMsg;
    LPARAM lParam;
    ULONG ulMaxCost;
    ULONG ulMinRcvBw;
    ULONG ulMaxConnLatency;
};

// ---- connection status -------------------------------------------------------------
#define CONNMGR_STATUS_UNKNOWN 0x00
#define CONNMGR_STATUS_CONNECTED 0x10
#define CONNMGR_STATUS_SUSPENDED 0x11
#define CONNMGR_STATUS_DISCONNECTED 0x20
#define CONNMGR_STATUS_CONNECTIONFAILED 0x21
#define CONNMGR_STATUS_CONNECTIONCANCELED 0x22
#define CONNMGR_STATUS_CONNECTIONDISABLED 0x23
#define CONNMGR_STATUS_NOPATHTODESTINATION 0x24
#define CONNMGR_STATUS_WAITINGFORPATH 0x25
#define CONNMGR_STATUS_WAITINGFORPHONE 0x26
#define CONNMGR_STATUS_PHONEOFF 0x27
#define CONNMGR_STATUS_EXCLUSIVECONFLICT 0x28
#define CONNMGR_STATUS_NORESOURCES 0x29
#define CONNMGR_STATUS_CONNECTIONLINKFAILED 0x2A
#define CONNMGR_STATUS_AUTHENTICATIONFAILED 0x2B
#define CONNMGR_STATUS_WAITINGCONNECTION 0x40
#define CONNMGR_STATUS_WAITINGFORRESOURCE 0x41
#define CONNMGR_STATUS_WAITINGFORNETWORK 0x42
#define CONNMGR_STATUS_WAITINGDISCONNECTION 0x80
#define CONNMGR_STATUS_WAITINGCONNECTIONABORT 0x81

// ---- destinations -------------------------------------------------------------------
#define CONNMGR_MAX_DESC 128

struct CONNMGR_DESTINATION_INFO {
    GUID guid;
    WCHAR szDescription[CONNMGR_MAX_DESC];
    BOOL fSecure;
};
static_assert(sizeof(CONNMGR_DESTINATION_INFO) == 276, "device record size");

// ---- proxy configuration ---------------------------------------------------------------
#define CMPROXY_PROXYSERVER_MAXSIZE 256
#define CMPROXY_USERNAME_MAXSIZE 32
#define CMPROXY_PASSWORD_MAXSIZE 32
#define CMPROXY_EXTRAINFO_MAXSIZE 256
#define CMPROXY_PROXYOVERRIDE_MAXSIZE 64

// dwType (one CONNMGR_FLAG_PROXY_* value) is set by the caller and selects
// the proxy asked for; the rest is filled in. Texts are NUL-terminated and
// truncated to their fields.
struct PROXY_CONFIG {
    DWORD dwType;
    BOOL dwEnable;
    WCHAR szProxyServer[CMPROXY_PROXYSERVER_MAXSIZE];
    WCHAR szUsername[CMPROXY_USERNAME_MAXSIZE];
    WCHAR szPassword[CMPROXY_PASSWORD_MAXSIZE];
    WCHAR szProxyOverride[CMPROXY_PROXYOVERRIDE_MAXSIZE];
    WCHAR szExtraInfo[CMPROXY_EXTRAINFO_MAXSIZE];
};
static_assert(sizeof(PROXY_CONFIG) == 1288, "device record size");

// ---- functions -------------------------------------------------------------------------
// pwszURL must be an absolute URL ("scheme://host..."): anything else is
// E_INVALIDARG. pdwIndex (optional) receives the destination's index.
HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex);

// Index 0 upward; past the last destination E_FAIL. fSecure is FALSE.
HRESULT ConnMgrEnumDestinations(int nIndex, CONNMGR_DESTINATION_INFO* pDestInfo);

// Asynchronous: returns a connection handle at once; its status then moves
// as described above (ask ConnMgrConnectionStatus or watch the notification
// message). Without CONNMGR_PARAM_GUIDDESTNET the Internet network is meant.
HRESULT ConnMgrEstablishConnection(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection);

HRESULT ConnMgrConnectionStatus(HANDLE hConnection, DWORD* pdwStatus);

// lCache 0 ends the connection now; any other value lets the link stay up
// for later users (nothing is torn down on this host either way). The
// handle is invalid afterwards.
HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache);

// Only IID_ConnPrv_IProxyExtension is known (other providers: E_NOTIMPL).
// pParams is a PROXY_CONFIG and cbParamSize its size (else E_INVALIDARG);
// dwMsg1, dwMsg2 and pdwIndex are not used. A connection without such a
// proxy answers S_OK with dwEnable FALSE and empty texts.
HRESULT ConnMgrProviderMessage(HANDLE hConnection, const GUID* pguidProvider, DWORD* pdwIndex,
                               DWORD dwMsg1, DWORD dwMsg2, PBYTE pParams, ULONG cbParamSize);
