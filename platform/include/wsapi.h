// Windows Sockets host-name calls: the device's own name and address and the
// desktop pass-through peer. They live in namespace ws because their names
// clash with the host C library's.
//
// The device's host name is the host's, or $ORVI_HOST_NAME when that is set;
// set but empty, the device has no name (for trying the programs without one).
//
// Name resolution:
// - the device's own host name (as gethostname gives it, any letter case),
//   an empty name or NULL: the first active non-loopback IPv4 address of the
//   host, or 127.0.0.1 when it has none;
// - "ppp_peer": the desktop pass-through peer. It exists only while
//   $ORVI_PPP_PEER holds a dotted IPv4 address; otherwise the name is not
//   found (a value that is not such an address is traced);
// - any other name or a dotted address: the host resolver, IPv4 only.
//
// Failures return SOCKET_ERROR or NULL and set the thread's last error to a
// WSA code; WSAGetLastError reads the same per-thread value as GetLastError.
// These calls work with or without WSAStartup: code that only asks for names
// may use them at any time.
#pragma once

#include "winerror.h"
#include "wintypes.h"

#define SOCKET_ERROR (-1)
// Spelled as the host's socket header spells them, so that either header may
// come first in a file that includes both.
#ifndef PF_INET
#define PF_INET 2
#endif
#ifndef AF_INET
#define AF_INET PF_INET
#endif

#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAENETDOWN 10050L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

namespace ws {

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;

// Addresses are in network byte order: h_addr_list[0][0] is a in a.b.c.d.
struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

// Counts one more user of the sockets service. Versions below 1.1 fail with
// WSAVERNOTSUPPORTED (returned, not set as last error); a null lpWSAData with
// WSAEFAULT. Offers version 2.2.
int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
// Drops one user; without a matching WSAStartup it returns SOCKET_ERROR with
// WSANOTINITIALISED.
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int iError);

// The device's host name, NUL-terminated. A null buffer or one too short for
// the name and its NUL fails with SOCKET_ERROR and WSAEFAULT; a device
// without a name fails with WSAENETDOWN.
int gethostname(char* name, int namelen);
// Resolves a name as described above. The result belongs to the calling
// thread and stays valid until its next gethostbyname call. Not found:
// WSAHOST_NOT_FOUND; a name without IPv4 addresses: WSANO_DATA; a resolver
// that cannot answer now: WSATRY_AGAIN; any other resolver failure:
// WSANO_RECOVERY.
hostent* gethostbyname(const char* name);

}  // namespace ws

#ifndef h_addr
#define h_addr h_addr_list[0]
#endif
