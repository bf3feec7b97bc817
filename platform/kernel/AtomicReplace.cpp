// Whole-file replacement through a temporary file and rename(). rename() is
// atomic on the host, so a reader in any process opens either the old or the
// new file; the fsync before it makes sure the new name never points at
// contents that a crash could still lose.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "DevicePath.h"
#include "FileFacts.h"

namespace orvi::kernel {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A link is replaced at its target, so the link itself survives the save.
std::string ReplacementTarget(const std::string& hostPath) {
    struct stat st;
    if (lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(hostPath.c_str(), nullptr)) {
            std::string target(real);
            std::free(real);
            return target;
        }
    }
    return hostPath;
}

// Fills and renames the temporary file; errno tells why when it fails.
bool WriteAndRename(int fd, const std::string& tempPath, const std::string& target,
                    const void* data, size_t size, unsigned mode) {
    bool ok = WriteAll(fd, data, size) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(tempPath.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    errno = err;
    return ok;
}

void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

bool AtomicReplaceHostFile(const std::string& hostPath, const void* data, size_t size,
                           DWORD* error) {
    DWORD ignored;
    if (!error)
        error = &ignored;
    std::string target = ReplacementTarget(hostPath);
    unsigned mode = 0644;
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        // Checked here because the host's super-user could replace it anyway.
        if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)) {
            *error = ERROR_ACCESS_DENIED;
            return false;
        }
        mode = st.st_mode & 07777;
    }
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    std::string tempPath = folder + "/" + std::string(kAtomicTempPrefix) + "XXXXXX";
    int fd = mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno);
        return false;
    }
    if (!WriteAndRename(fd, tempPath, target, data, size, mode)) {
        *error = ErrorFromErrno(errno);
        unlink(tempPath.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

}  // namespace orvi::kernel
