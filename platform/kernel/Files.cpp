// File handle API: CreateFileW and the calls that work on its handles. The
// entry points check arguments and handles; FileObject does the work.
#include "FileObject.h"
#include "fileapi.h"

namespace orvi::kernel {
namespace {

std::shared_ptr<FileObject> FileFromHandle(HANDLE h) {
    return ReferenceHandleAs<FileObject>(h, ObjectType::File);
}

bool ValidDisposition(DWORD disposition) {
    return disposition >= CREATE_NEW && disposition <= TRUNCATE_EXISTING;
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE) {
    if (!lpFileName || !ValidDisposition(dwCreationDisposition) ||
        (dwCreationDisposition == TRUNCATE_EXISTING && !(dwDesiredAccess & GENERIC_WRITE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ResolvedPath path;
    if (!ResolveDevicePath(lpFileName, PathUse::Name, path))
        return INVALID_HANDLE_VALUE;
    auto file = FileObject::Open(path, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                  dwFlagsAndAttributes);
    if (!file)
        return INVALID_HANDLE_VALUE;
    DWORD result = GetLastError();  // ERROR_ALREADY_EXISTS or ERROR_SUCCESS
    HANDLE h = InsertHandle(std::move(file));
    SetLastError(result);
    return h;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    bool ok = file->Read(lpBuffer, nNumberOfBytesToRead, done);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = done;
    return ok;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto file = FileFromHandle(hFile);
    if (!file)
        return FALSE;
    if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    bool ok = file->Write(lpBuffer, nNumberOfBytesToWrite, done);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = done;
    return ok;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
    auto file = FileFromHandle(hFile);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    int64_t distance = lDistanceToMove;
    // Without a high part the position must stay a 32-bit value below the
    // error marker.
    uint64_t limit = INVALID_SET_FILE_POINTER - 1;
    if (lpDistanceToMoveHigh) {
        distance = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                        static_cast<uint32_t>(lDistanceToMove));
        limit = INT64_MAX;
    }
    uint64_t position = 0;
    if (!file->Seek(distance, dwMoveMethod, limit, position))
        return INVALID_SET_FILE_POINTER;
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE hFile) {
    auto file = FileFromHandle(hFile);
    return file && file->SetEnd();
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = FileFromHandle(hFile);
    FileFacts facts;
    if (!file || !file->Facts(facts))
        return INVALID_FILE_SIZE;
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(facts.size >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(facts.size);
}

BOOL FlushFileBuffers(HANDLE hFile) {
    auto file = FileFromHandle(hFile);
    return file && file->Flush();
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                 LPFILETIME lpLastWriteTime) {
    auto file = FileFromHandle(hFile);
    FileFacts facts;
    if (!file || !file->Facts(facts))
        return FALSE;
    if (lpCreationTime)
        *lpCreationTime = facts.creationTime;
    if (lpLastAccessTime)
        *lpLastAccessTime = facts.lastAccessTime;
    if (lpLastWriteTime)
        *lpLastWriteTime = facts.lastWriteTime;
    return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME*, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime) {
    auto file = FileFromHandle(hFile);
    return file && file->SetTimes(lpLastAccessTime, lpLastWriteTime);
}
