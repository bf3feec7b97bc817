// The device file system: files, folders, enumeration and the shell's special
// folders. Paths are device paths ("\Program Files\x.txt"), looked up
// case-insensitively and created with the case given. '/' is accepted as a
// separator, and a path without a leading '\' is taken from the root, since
// the device has no current folder.
//
// Every function keeps the device contract: a failure returns FALSE,
// INVALID_HANDLE_VALUE or the documented invalid value and sets the thread's
// last error. File and find handles are kernel handles; a file handle may be
// used from several threads at once (calls on one handle are serialised).
#pragma once

#include "kernelapi.h"

// ---- access, sharing, dispositions, flags ---------------------------------
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Asynchronous I/O does not exist on the device; ReadFile and WriteFile
// refuse a non-null OVERLAPPED with ERROR_INVALID_PARAMETER.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

// ---- files --------------------------------------------------------------------
// Share modes are enforced between handles of this process only: a second
// process opening the same file is not checked against them.
// dwFlagsAndAttributes: FILE_ATTRIBUTE_READONLY makes a created (or
// overwritten) file read-only; FILE_FLAG_WRITE_THROUGH writes synchronously;
// other attributes and flags are accepted and ignored.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
// On success the last error is NO_ERROR, so a caller can tell a position whose
// low part is 0xFFFFFFFF from a failure.
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);
BOOL SetEndOfFile(HANDLE hFile);
// On success the last error is NO_ERROR (see SetFilePointer).
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL FlushFileBuffers(HANDLE hFile);
// The creation time is the host's birth time where the host file system keeps
// one, else its change time; SetFileTime cannot change it and ignores it.
BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                 LPFILETIME lpLastWriteTime);
BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime);

// Plain files report FILE_ATTRIBUTE_ARCHIVE, folders FILE_ATTRIBUTE_DIRECTORY;
// FILE_ATTRIBUTE_READONLY follows the host owner's write permission and
// FILE_ATTRIBUTE_HIDDEN marks names beginning with '.'.
DWORD GetFileAttributesW(LPCWSTR lpFileName);
// Only FILE_ATTRIBUTE_READONLY is kept; the other attributes are accepted and
// ignored.
BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes);
// A file with an open handle in this process cannot be deleted or moved
// (ERROR_SHARING_VIOLATION).
BOOL DeleteFileW(LPCWSTR lpFileName);
// Never replaces: an existing target fails with ERROR_ALREADY_EXISTS. A move
// that only changes the case of a name is allowed.
BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
// Copies contents, the last write time and the read-only attribute.
BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL RemoveDirectoryW(LPCWSTR lpPathName);

// Replaces a device file (creating it when missing) with the given bytes as
// one step: a reader sees the old or the new contents, never a mix. The
// system's saves use it. Fails like CreateFileW for a missing folder or a
// read-only target and leaves the old file untouched on any failure.
BOOL OrviAtomicWriteFile(LPCWSTR lpFileName, LPCVOID lpBuffer, DWORD nNumberOfBytes);

// ---- enumeration -----------------------------------------------------------------
// The device's record (no alternate name; dwOID identifies the object).
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// '*' and '?' in the last component match case-insensitively; a pattern
// ending in ".*" also matches names without a dot, so "*.*" matches all.
// Entries come sorted by name, never "." or "..", and never a link that
// leads out of the device. The entries are those present at FindFirstFileW;
// one removed meanwhile is skipped.
HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// ---- special folders (the shell's calls) ----------------------------------------
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_PERSONAL 0x0005
#define CSIDL_STARTUP 0x0007
#define CSIDL_STARTMENU 0x000b
#define CSIDL_FONTS 0x0014
#define CSIDL_APPDATA 0x001a
#define CSIDL_WINDOWS 0x0024
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_FLAG_CREATE 0x8000

// Writes the folder's device path (no trailing '\') into lpszPath, a buffer
// of MAX_PATH characters. The folder is created (with its parents) when
// fCreate is TRUE or nFolder carries CSIDL_FLAG_CREATE; otherwise the path is
// answered whether or not the folder exists yet. Unknown folders fail with
// ERROR_INVALID_PARAMETER. hwndOwner is unused.
BOOL SHGetSpecialFolderPath(HWND hwndOwner, LPWSTR lpszPath, int nFolder, BOOL fCreate);
// "\Temp\", created when missing. Returns the length without the terminator,
// or the size needed (with it) when the buffer is too small.
DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);
