// The registry: hives of keys and typed values shared by every process on the
// device, and the shell's change notifications on them.
//
// The Reg* functions return their error code (ERROR_SUCCESS, ERROR_...) as
// the result and leave the thread's last error alone. Key and value names are
// case-insensitive and keep the case they were created with. A subkey path
// names keys separated by backslashes; a leading backslash is allowed.
//
// Access masks (samDesired) and the options of RegOpenKeyExW are accepted and
// not enforced: as on the device, every handle may read and write. Every
// change reaches the hive's file before the call returns, so RegFlushKey has
// nothing left to do.
#pragma once

#include "kernelapi.h"
#include "winerror.h"
#include "wintypes.h"

// The predefined keys, sign-extended to pointer width as the platform does.
#define ORVI_PREDEFINED_HKEY(v) reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(v))))
#define HKEY_CLASSES_ROOT ORVI_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER ORVI_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE ORVI_PREDEFINED_HKEY(0x80000002u)

typedef DWORD REGSAM;

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001

#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Creates the missing keys of the path one after another. *lpdwDisposition
// says whether the last key was created or already existed.
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
// Closing a predefined key succeeds and does nothing.
LONG RegCloseKey(HKEY hKey);
LONG RegFlushKey(HKEY hKey);
// Deletes the key with all its subkeys, as the device does. Handles still
// open on the deleted keys answer ERROR_KEY_DELETED from then on.
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// A NULL or empty name is the key's default value. Data is stored exactly as
// given: a string's terminator is kept only when cbData counts it.
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
// With lpData NULL, *lpcbData receives the size. A buffer too small gives
// ERROR_MORE_DATA with the needed size in *lpcbData and the buffer untouched.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
// Values are enumerated in the order they were first set. A name buffer too
// small gives ERROR_MORE_DATA with *lpcchValueName unchanged; the longest
// name is known from RegQueryInfoKeyW.
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Subkeys are enumerated in the order they were created. Keys have no class:
// a class buffer receives an empty string.
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, LPFILETIME lpftLastWriteTime);
// Counts and longest lengths (names in characters without the terminator,
// data in bytes); class and security sizes are 0.
LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcchMaxSubKeyLen, LPDWORD lpcchMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcchMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, LPFILETIME lpftLastWriteTime);

// ---- change notifications --------------------------------------------------------
// Changes made by any process are seen: one platform thread per process
// watches the hive files, from the first notification opened until the last
// one is closed. A change is noticed by comparing with the state last seen,
// so a value changed and changed back between two looks may go unnoticed.

typedef struct HREGNOTIFY__* HREGNOTIFY;

// A fixed underlying type: a caller's out-of-range value is refused, not undefined.
enum REG_COMPARISONTYPE : int {
    REG_CT_EQUAL,
    REG_CT_NOT_EQUAL,
    REG_CT_GREATER,
    REG_CT_GREATER_OR_EQUAL,
    REG_CT_LESS,
    REG_CT_LESS_OR_EQUAL,
    REG_CT_CONTAINS,
    REG_CT_STARTS_WITH,
    REG_CT_ENDS_WITH,
    REG_CT_ANYCHANGE,
};

// A change is reported only when the new value satisfies the condition.
// DWORD values are ANDed with dwMask and compared with TargetValue.dw; string
// values are compared with TargetValue.psz without regard to case (dwMask is
// then ignored). A deleted value satisfies only REG_CT_ANYCHANGE.
struct NOTIFICATIONCONDITION {
    REG_COMPARISONTYPE ctComparisonType;
    DWORD dwMask;
    union {
        LPCWSTR psz;
        DWORD dw;
    } TargetValue;
};

// Runs on the platform's notification thread with the value's new bytes, or
// NULL and 0 when the value was deleted (or its key).
typedef void (*REGISTRYNOTIFYCALLBACK)(HREGNOTIFY hNotify, DWORD dwUserData, const PBYTE pData,
                                       const UINT cbData);

// Watches one value (NULL or empty name: the default value) of the key
// hKey\pszSubKey; the key need not exist yet. pCondition NULL reports every
// change; the condition's string is copied.
HRESULT RegistryNotifyCallback(HKEY hKey, LPCWSTR pszSubKey, LPCWSTR pszValueName,
                               REGISTRYNOTIFYCALLBACK pfnCallback, DWORD dwUserData,
                               NOTIFICATIONCONDITION* pCondition, HREGNOTIFY* phNotify);
// After it returns no callback of hNotify runs any more, unless it is called
// from that callback itself.
HRESULT RegistryCloseNotification(HREGNOTIFY hNotify);
// FIXME: RegistryNotifyWindow (a message to a window on change) arrives with
// the window system.

#define REG_NOTIFY_CHANGE_NAME 0x00000001
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008

// Returns a manual-reset event that is set when a subkey of hKey is created
// or deleted (REG_NOTIFY_CHANGE_NAME) or a value is set or deleted
// (REG_NOTIFY_CHANGE_LAST_SET), below hKey as a whole with bWatchSubtree.
// Once set it stays set until CeFindNextRegChange; a change that happens
// meanwhile sets it again at once. Failure: INVALID_HANDLE_VALUE and the last
// error.
HANDLE CeFindFirstRegChange(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter);
BOOL CeFindNextRegChange(HANDLE hNotify);
// Closes the handle; the event is not signalled any more.
BOOL CeFindCloseRegChange(HANDLE hNotify);
