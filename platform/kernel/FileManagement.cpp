// Path-based file system calls: attributes, delete, move, copy, folders and
// the atomic save the system's settings files use.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FileObject.h"
#include "fileapi.h"

namespace orvi::kernel {
namespace {

std::string_view LastComponent(const std::string& hostPath) {
    size_t slash = hostPath.rfind('/');
    return std::string_view(hostPath).substr(slash == std::string::npos ? 0 : slash + 1);
}

// Resolves a device path that must name an existing file or folder; sets the
// device's not-found codes otherwise.
bool ResolveExisting(LPCWSTR name, ResolvedPath& path, FileFacts& facts) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!ResolveDevicePath(name, PathUse::Name, path))
        return false;
    if (!path.parentExists || !path.leafExists) {
        SetLastError(path.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (!QueryFileFacts(path.host, facts)) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// rename() that never replaces an existing target, where the host file
// system can say so atomically.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

// The host name a move should create: normally the resolved target, but a
// move onto the same entry under another spelling renames it to the new case.
bool MoveTarget(const ResolvedPath& from, const ResolvedPath& to, std::string& target) {
    target = to.host;
    if (!to.leafExists)
        return true;
    std::string given = Utf16ToUtf8(to.leaf);
    if (to.host != from.host || given == LastComponent(from.host))
        return Fail(ERROR_ALREADY_EXISTS);
    target = to.parentHost + "/" + given;
    return true;
}

bool CopyContents(FileObject& source, FileObject& target) {
    static constexpr DWORD kChunk = 64 * 1024;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        DWORD got = 0, put = 0;
        if (!source.Read(buffer.get(), kChunk, got))
            return false;
        if (got == 0)
            break;
        if (!target.Write(buffer.get(), got, put))
            return false;
    }
    FileFacts facts;
    return source.Facts(facts) && target.SetTimes(nullptr, &facts.lastWriteTime) &&
           target.SetMode(facts.mode);
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    ResolvedPath path;
    FileFacts facts;
    if (!ResolveExisting(lpFileName, path, facts))
        return INVALID_FILE_ATTRIBUTES;
    return AttributesOf(facts, path.isRoot ? std::string_view() : LastComponent(path.host));
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    ResolvedPath path;
    FileFacts facts;
    if (!ResolveExisting(lpFileName, path, facts))
        return FALSE;
    // Read-only takes every write permission away, so the host agrees; the
    // way back gives it to the owner only.
    unsigned mode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? facts.mode & ~0222u
                                                                 : facts.mode | S_IWUSR;
    if (mode != facts.mode && chmod(path.host.c_str(), mode) != 0)
        return Fail(ErrorFromErrno(errno));
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    ResolvedPath path;
    FileFacts facts;
    if (!ResolveExisting(lpFileName, path, facts))
        return FALSE;
    if (facts.isFolder || facts.readOnly)
        return Fail(ERROR_ACCESS_DENIED);
    if (IsOpenInProcess(facts))
        return Fail(ERROR_SHARING_VIOLATION);
    if (unlink(path.host.c_str()) != 0)
        return Fail(ErrorFromErrno(errno));
    return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    ResolvedPath from, to;
    FileFacts facts;
    if (!ResolveExisting(lpExistingFileName, from, facts))
        return FALSE;
    if (!lpNewFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    if (from.isRoot)
        return Fail(ERROR_ACCESS_DENIED);
    if (!ResolveDevicePath(lpNewFileName, PathUse::Name, to))
        return FALSE;
    if (!to.parentExists)
        return Fail(ERROR_PATH_NOT_FOUND);
    std::string target;
    if (!MoveTarget(from, to, target))
        return FALSE;
    if (!facts.isFolder && IsOpenInProcess(facts))
        return Fail(ERROR_SHARING_VIOLATION);
    if (!RenameNoReplace(from.host, target)) {
        // EINVAL: a folder moved into itself.
        return Fail(errno == EINVAL ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
    }
    return TRUE;
}

BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
    if (!lpExistingFileName || !lpNewFileName)
        return Fail(ERROR_INVALID_PARAMETER);
    DWORD previousError = GetLastError();
    ResolvedPath from, to;
    if (!ResolveDevicePath(lpExistingFileName, PathUse::Name, from))
        return FALSE;
    auto source = FileObject::Open(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!source || !ResolveDevicePath(lpNewFileName, PathUse::Name, to))
        return FALSE;
    auto target = FileObject::Open(to, GENERIC_WRITE, 0, bFailIfExists ? CREATE_NEW : CREATE_ALWAYS, 0);
    if (!target)
        return FALSE;
    if (!CopyContents(*source, *target)) {
        // A partial copy is worse than none.
        DWORD error = GetLastError();
        target.reset();
        unlink(to.host.c_str());
        return Fail(error);
    }
    SetLastError(previousError);
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    if (!lpPathName)
        return Fail(ERROR_INVALID_PARAMETER);
    ResolvedPath path;
    if (!ResolveDevicePath(lpPathName, PathUse::Name, path))
        return FALSE;
    if (!path.parentExists)
        return Fail(ERROR_PATH_NOT_FOUND);
    if (path.leafExists)
        return Fail(ERROR_ALREADY_EXISTS);
    if (mkdir(path.host.c_str(), 0777) != 0)
        return Fail(ErrorFromErrno(errno));
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    ResolvedPath path;
    FileFacts facts;
    if (!ResolveExisting(lpPathName, path, facts))
        return FALSE;
    if (path.isRoot || facts.readOnly)
        return Fail(ERROR_ACCESS_DENIED);
    if (!facts.isFolder)
        return Fail(ERROR_DIRECTORY);
    if (rmdir(path.host.c_str()) != 0) {
        int err = errno;
        if (err == ENOTEMPTY || err == EEXIST)
            return Fail(ERROR_DIR_NOT_EMPTY);
        return Fail(err == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrno(err));
    }
    return TRUE;
}

BOOL OrviAtomicWriteFile(LPCWSTR lpFileName, LPCVOID lpBuffer, DWORD nNumberOfBytes) {
    if (!lpFileName || (!lpBuffer && nNumberOfBytes))
        return Fail(ERROR_INVALID_PARAMETER);
    ResolvedPath path;
    if (!ResolveDevicePath(lpFileName, PathUse::Name, path))
        return FALSE;
    if (!path.parentExists)
        return Fail(ERROR_PATH_NOT_FOUND);
    if (path.isRoot)
        return Fail(ERROR_ACCESS_DENIED);
    DWORD error = ERROR_SUCCESS;
    if (!AtomicReplaceHostFile(path.host, lpBuffer, nNumberOfBytes, &error))
        return Fail(error);
    return TRUE;
}
