// The device's internet service: a tree of handles (internet session ->
// connection -> request, or session -> URL request) over HTTP and HTTPS.
//
// Asynchronous mode (INTERNET_FLAG_ASYNC on InternetOpenW): an operation
// that cannot finish at once returns FALSE/NULL with ERROR_IO_PENDING and
// completes later through the status callback with
// INTERNET_STATUS_REQUEST_COMPLETE. Every status callback runs on the
// service's one network thread, never inside the caller's API call, and the
// callback may call back into the service. Once InternetCloseHandle returns,
// no further callback is made for that handle or its children, and no
// buffer handed to a pending read is touched any more.
#pragma once

#include "wintypes.h"

typedef LPVOID HINTERNET;
typedef HINTERNET* LPHINTERNET;
typedef WORD INTERNET_PORT;

// ---- errors (last-error codes of the service) ---------------------------------
#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_OUT_OF_HANDLES 12001L
#define ERROR_INTERNET_TIMEOUT 12002L
#define ERROR_INTERNET_EXTENDED_ERROR 12003L
#define ERROR_INTERNET_INTERNAL_ERROR 12004L
#define ERROR_INTERNET_INVALID_URL 12005L
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006L
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007L
#define ERROR_INTERNET_PROTOCOL_NOT_FOUND 12008L
#define ERROR_INTERNET_INVALID_OPTION 12009L
#define ERROR_INTERNET_BAD_OPTION_LENGTH 12010L
#define ERROR_INTERNET_OPTION_NOT_SETTABLE 12011L
#define ERROR_INTERNET_SHUTDOWN 12012L
#define ERROR_INTERNET_INVALID_OPERATION 12016L
#define ERROR_INTERNET_OPERATION_CANCELLED 12017L
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018L
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019L
#define ERROR_INTERNET_NOT_PROXY_REQUEST 12020L
#define ERROR_INTERNET_CANNOT_CONNECT 12029L
#define ERROR_INTERNET_CONNECTION_ABORTED 12030L
#define ERROR_INTERNET_CONNECTION_RESET 12031L
#define ERROR_INTERNET_INVALID_PROXY_REQUEST 12033L
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037L
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038L
#define ERROR_INTERNET_INVALID_CA 12045L
#define ERROR_INTERNET_SEC_CERT_ERRORS 12055L
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157L
#define ERROR_HTTP_HEADER_NOT_FOUND 12150L
#define ERROR_HTTP_DOWNLEVEL_SERVER 12151L
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152L
#define ERROR_HTTP_INVALID_HEADER 12153L
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154L
#define ERROR_HTTP_HEADER_ALREADY_EXISTS 12155L
#define ERROR_HTTP_REDIRECT_FAILED 12156L
#define ERROR_HTTP_NOT_REDIRECTED 12160L

// ---- InternetOpenW ---------------------------------------------------------------
#define INTERNET_OPEN_TYPE_PRECONFIG 0  // the host's http_proxy / no_proxy convention
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3

#define INTERNET_FLAG_ASYNC 0x10000000u
#define INTERNET_FLAG_OFFLINE 0x01000000u

// ---- request flags (HttpOpenRequestW, InternetOpenUrlW) ----------------------
#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_FLAG_RAW_DATA 0x40000000u
#define INTERNET_FLAG_EXISTING_CONNECT 0x20000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#define INTERNET_FLAG_DONT_CACHE INTERNET_FLAG_NO_CACHE_WRITE
#define INTERNET_FLAG_SECURE 0x00800000u
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000u
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000u
#define INTERNET_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000u
#define INTERNET_FLAG_IGNORE_CERT_CN_INVALID 0x00001000u
#define INTERNET_FLAG_NO_UI 0x00000200u
#define INTERNET_FLAG_PRAGMA_NOCACHE 0x00000100u

#define INTERNET_SERVICE_FTP 1
#define INTERNET_SERVICE_GOPHER 2
#define INTERNET_SERVICE_HTTP 3

#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_FTP_PORT 21
#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443

// ---- status callback -----------------------------------------------------------
#define INTERNET_STATUS_RESOLVING_NAME 10
#define INTERNET_STATUS_NAME_RESOLVED 11
#define INTERNET_STATUS_CONNECTING_TO_SERVER 20
#define INTERNET_STATUS_CONNECTED_TO_SERVER 21
#define INTERNET_STATUS_SENDING_REQUEST 30
#define INTERNET_STATUS_REQUEST_SENT 31
#define INTERNET_STATUS_RECEIVING_RESPONSE 40
#define INTERNET_STATUS_RESPONSE_RECEIVED 41  // info: DWORD, bytes of the response head
#define INTERNET_STATUS_CLOSING_CONNECTION 50
#define INTERNET_STATUS_CONNECTION_CLOSED 51
#define INTERNET_STATUS_HANDLE_CREATED 60     // info: INTERNET_ASYNC_RESULT, dwResult = handle
#define INTERNET_STATUS_HANDLE_CLOSING 70     // info: HINTERNET; the last callback of a handle
#define INTERNET_STATUS_REQUEST_COMPLETE 100  // info: INTERNET_ASYNC_RESULT
#define INTERNET_STATUS_REDIRECT 110

typedef void(CALLBACK* INTERNET_STATUS_CALLBACK)(HINTERNET hInternet, DWORD_PTR dwContext,
                                                 DWORD dwInternetStatus,
                                                 LPVOID lpvStatusInformation,
                                                 DWORD dwStatusInformationLength);
typedef INTERNET_STATUS_CALLBACK* LPINTERNET_STATUS_CALLBACK;
#define INTERNET_INVALID_STATUS_CALLBACK \
    (reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<intptr_t>(-1)))

// dwResult: TRUE/FALSE for a send or read, the new handle for
// InternetOpenUrlW and HANDLE_CREATED. dwError: the last-error code of a
// failed operation.
struct INTERNET_ASYNC_RESULT {
    DWORD_PTR dwResult;
    DWORD dwError;
};
typedef INTERNET_ASYNC_RESULT* LPINTERNET_ASYNC_RESULT;

// ---- reads -------------------------------------------------------------------------
#define IRF_ASYNC 0x00000001
#define IRF_SYNC 0x00000004
#define IRF_USE_CONTEXT 0x00000008
#define IRF_NO_WAIT 0x00000008

struct INTERNET_BUFFERSA {
    DWORD dwStructSize;
    INTERNET_BUFFERSA* Next;
    LPCSTR lpcszHeader;
    DWORD dwHeadersLength;
    DWORD dwHeadersTotal;
    LPVOID lpvBuffer;
    DWORD dwBufferLength;  // in: room in lpvBuffer; out: bytes read
    DWORD dwBufferTotal;
    DWORD dwOffsetLow;
    DWORD dwOffsetHigh;
};
typedef INTERNET_BUFFERSA* LPINTERNET_BUFFERSA;

// ---- headers -----------------------------------------------------------------------
#define HTTP_ADDREQ_INDEX_MASK 0x0000FFFFu
#define HTTP_ADDREQ_FLAGS_MASK 0xFFFF0000u
#define HTTP_ADDREQ_FLAG_ADD_IF_NEW 0x10000000u
#define HTTP_ADDREQ_FLAG_ADD 0x20000000u
#define HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA 0x40000000u
#define HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON 0x01000000u
#define HTTP_ADDREQ_FLAG_COALESCE HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA
#define HTTP_ADDREQ_FLAG_REPLACE 0x80000000u

#define HTTP_QUERY_CONTENT_TYPE 1
#define HTTP_QUERY_CONTENT_LENGTH 5
#define HTTP_QUERY_CONTENT_LANGUAGE 6
#define HTTP_QUERY_DATE 9
#define HTTP_QUERY_EXPIRES 10
#define HTTP_QUERY_LAST_MODIFIED 11
#define HTTP_QUERY_PRAGMA 17
#define HTTP_QUERY_VERSION 18
#define HTTP_QUERY_STATUS_CODE 19
#define HTTP_QUERY_STATUS_TEXT 20
#define HTTP_QUERY_RAW_HEADERS 21
#define HTTP_QUERY_RAW_HEADERS_CRLF 22
#define HTTP_QUERY_CONNECTION 23
#define HTTP_QUERY_CONTENT_ENCODING 29
#define HTTP_QUERY_LOCATION 33
#define HTTP_QUERY_SERVER 37
#define HTTP_QUERY_USER_AGENT 39
#define HTTP_QUERY_WWW_AUTHENTICATE 40
#define HTTP_QUERY_PROXY_AUTHENTICATE 41
#define HTTP_QUERY_ACCEPT_RANGES 42
#define HTTP_QUERY_SET_COOKIE 43
#define HTTP_QUERY_CONTENT_DISPOSITION 47
#define HTTP_QUERY_CACHE_CONTROL 49
#define HTTP_QUERY_CONTENT_RANGE 53
#define HTTP_QUERY_ETAG 54
#define HTTP_QUERY_RANGE 62
#define HTTP_QUERY_TRANSFER_ENCODING 63
#define HTTP_QUERY_CUSTOM 65535  // lpBuffer holds the header name on input

#define HTTP_QUERY_HEADER_MASK 0x0000FFFFu
#define HTTP_QUERY_MODIFIER_FLAGS_MASK 0xF0000000u
#define HTTP_QUERY_FLAG_REQUEST_HEADERS 0x80000000u
#define HTTP_QUERY_FLAG_SYSTEMTIME 0x40000000u
#define HTTP_QUERY_FLAG_NUMBER 0x20000000u
#define HTTP_QUERY_FLAG_COALESCE 0x10000000u

// ---- options -------------------------------------------------------------------------
#define INTERNET_OPTION_CONNECT_TIMEOUT 2  // DWORD ms
#define INTERNET_OPTION_SEND_TIMEOUT 5
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6  // DWORD ms without any byte from the server; 0 = none
#define INTERNET_OPTION_DATA_SEND_TIMEOUT 7
#define INTERNET_OPTION_DATA_RECEIVE_TIMEOUT 8
#define INTERNET_OPTION_HANDLE_TYPE 9
#define INTERNET_OPTION_URL 34  // the request's URL; after redirects the final one
#define INTERNET_OPTION_PROXY 38

#define INTERNET_HANDLE_TYPE_INTERNET 1
#define INTERNET_HANDLE_TYPE_CONNECT_HTTP 3
#define INTERNET_HANDLE_TYPE_HTTP_REQUEST 13

// Proxy names: "host:port", or per scheme "http=host:port https=host:port".
// Bypass list: host names separated by ';' or blanks, '*' wildcards, and
// "<local>" for names without a dot.
struct INTERNET_PROXY_INFO {
    DWORD dwAccessType;
    LPCWSTR lpszProxy;
    LPCWSTR lpszProxyBypass;
};
typedef INTERNET_PROXY_INFO* LPINTERNET_PROXY_INFO;

// ---- URLs --------------------------------------------------------------------------------
typedef int INTERNET_SCHEME;
#define INTERNET_SCHEME_PARTIAL (-2)
#define INTERNET_SCHEME_UNKNOWN (-1)
#define INTERNET_SCHEME_DEFAULT 0
#define INTERNET_SCHEME_FTP 1
#define INTERNET_SCHEME_GOPHER 2
#define INTERNET_SCHEME_HTTP 3
#define INTERNET_SCHEME_HTTPS 4
#define INTERNET_SCHEME_FILE 5
#define INTERNET_SCHEME_NEWS 6
#define INTERNET_SCHEME_MAILTO 7

#define ICU_ESCAPE 0x80000000u
#define ICU_DECODE 0x10000000u

// For each part: a buffer and its size in characters (the part is copied and
// the size becomes its length), NULL with a non-zero size (the pointer is set
// into the URL and the size to the part's length), or size 0 (not wanted).
// When the extra information ("?..." / "#...") is not wanted, it stays in the
// path.
struct URL_COMPONENTSW {
    DWORD dwStructSize;
    LPWSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPWSTR lpszHostName;
    DWORD dwHostNameLength;
    INTERNET_PORT nPort;
    LPWSTR lpszUserName;
    DWORD dwUserNameLength;
    LPWSTR lpszPassword;
    DWORD dwPasswordLength;
    LPWSTR lpszUrlPath;
    DWORD dwUrlPathLength;
    LPWSTR lpszExtraInfo;
    DWORD dwExtraInfoLength;
};
typedef URL_COMPONENTSW* LPURL_COMPONENTSW;

// ---- functions -----------------------------------------------------------------------------
HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy,
                        LPCWSTR lpszProxyBypass, DWORD dwFlags);
// Returns the previous callback, or INTERNET_INVALID_STATUS_CALLBACK on an
// invalid handle. Handles made afterwards under this one inherit it.
INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET hInternet,
                                                    INTERNET_STATUS_CALLBACK lpfnInternetCallback);
HINTERNET InternetConnectW(HINTERNET hInternet, LPCWSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwService,
                           DWORD dwFlags, DWORD_PTR dwContext);
HINTERNET HttpOpenRequestW(HINTERNET hConnect, LPCWSTR lpszVerb, LPCWSTR lpszObjectName,
                           LPCWSTR lpszVersion, LPCWSTR lpszReferrer, LPCWSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext);
// Header lines separated by CR LF or a bare LF; dwHeadersLength (-1 =
// NUL-terminated) in characters.
BOOL HttpAddRequestHeadersW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                            DWORD dwModifiers);
BOOL HttpSendRequestW(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength,
                      LPVOID lpOptional, DWORD dwOptionalLength);
HINTERNET InternetOpenUrlW(HINTERNET hInternet, LPCWSTR lpszUrl, LPCWSTR lpszHeaders,
                           DWORD dwHeadersLength, DWORD dwFlags, DWORD_PTR dwContext);
// Returns what is available, up to the size asked for; TRUE with 0 bytes is
// the end of the body. A body that ends before its announced length fails
// the read that reaches the cut (ERROR_INTERNET_CONNECTION_RESET).
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);
BOOL InternetReadFileExA(HINTERNET hFile, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags,
                         DWORD_PTR dwContext);
BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex);
BOOL HttpQueryInfoA(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex);
BOOL InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                          LPDWORD lpdwBufferLength);
BOOL InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                        DWORD dwBufferLength);
BOOL InternetCrackUrlW(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                       LPURL_COMPONENTSW lpUrlComponents);
// Closes the handle and every handle made under it, cancelling their pending
// operations (REQUEST_COMPLETE with ERROR_INTERNET_OPERATION_CANCELLED, then
// HANDLE_CLOSING for each, children first).
BOOL InternetCloseHandle(HINTERNET hInternet);
