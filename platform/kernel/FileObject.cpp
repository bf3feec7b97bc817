// File handles over POSIX file descriptors. Reads and writes use pread and
// pwrite at the handle's own position, so handles to one file never disturb
// each other's positions.
//
// Share modes are checked between handles of this process only. Another
// process can open the same file regardless of them: the host has no
// mandatory locks that would express them, and the system shares files
// between processes only through OrviAtomicWriteFile.
#include "FileObject.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "fileapi.h"

namespace orvi::kernel {
namespace {

constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;

struct ShareEntry {
    uint64_t device;
    uint64_t inode;
    DWORD access;
    DWORD share;
};

struct ShareTable {
    std::mutex lock;
    std::map<uint64_t, ShareEntry> entries;  // by token
    uint64_t nextToken = 1;
};

ShareTable& Shares() {
    static auto* table = new ShareTable;  // lives until exit, like the handle table
    return *table;
}

bool Compatible(const ShareEntry& open, DWORD access, DWORD share) {
    if ((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ))
        return false;
    if ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE))
        return false;
    if ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ))
        return false;
    if ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))
        return false;
    return true;
}

bool Truncates(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// Opens the host file without truncating it (that waits for the share
// check). Sets *existed; on failure sets the last error and returns -1.
int OpenHostFile(const std::string& host, DWORD access, DWORD disposition, DWORD flags,
                 bool& existed) {
    bool needsWrite = (access & GENERIC_WRITE) || Truncates(disposition);
    int mode = !needsWrite ? O_RDONLY : (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    int base = mode | O_CLOEXEC | O_NOCTTY | ((flags & FILE_FLAG_WRITE_THROUGH) ? O_DSYNC : 0);
    bool mayCreate = disposition == CREATE_NEW || disposition == CREATE_ALWAYS ||
                     disposition == OPEN_ALWAYS;
    if (mayCreate) {
        int fd = open(host.c_str(), base | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            existed = false;
            return fd;
        }
        if (errno != EEXIST) {
            SetLastError(ErrorFromErrno(errno));
            return -1;
        }
        if (disposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return -1;
        }
    }
    existed = true;
    int fd = open(host.c_str(), base);
    if (fd < 0)
        SetLastError(ErrorFromErrno(errno));
    return fd;
}

}  // namespace

FileObject::FileObject(int fd, DWORD access) : KernelObject(ObjectType::File), m_fd(fd), m_access(access) {}

FileObject::~FileObject() {
    LeaveShareTable();
    close(m_fd);
}

void FileObject::OnLastHandleClosed() { LeaveShareTable(); }

std::shared_ptr<FileObject> FileObject::Open(const ResolvedPath& path, DWORD access, DWORD share,
                                               DWORD disposition, DWORD flags) {
    if (!path.parentExists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    if (path.isRoot) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    bool existed = false;
    int fd = OpenHostFile(path.host, access, disposition, flags, existed);
    if (fd < 0)
        return nullptr;
    std::shared_ptr<FileObject> object(new FileObject(fd, access));
    FileFacts facts;
    if (!QueryFileFacts(fd, facts)) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    bool truncating = existed && Truncates(disposition);
    // The host lets its super-user write anything, so the device's read-only
    // rule is checked here rather than left to open().
    if (facts.isFolder || (existed && facts.readOnly && ((access & GENERIC_WRITE) || truncating))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // Overwriting counts as writing for the share check.
    DWORD shareAccess = (access & kDataAccess) | (truncating ? GENERIC_WRITE : 0);
    if (!object->JoinShareTable(facts, shareAccess, share)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return nullptr;
    }
    if (truncating && ftruncate(fd, 0) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    if ((flags & FILE_ATTRIBUTE_READONLY) && (!existed || truncating))
        fchmod(fd, facts.mode & ~0222u);
    bool reportExisting = existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
    SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return object;
}

bool FileObject::JoinShareTable(const FileFacts& facts, DWORD access, DWORD share) {
    // A handle that neither reads nor writes (attributes only) takes no part
    // in sharing.
    if (!(access & kDataAccess))
        return true;
    auto& table = Shares();
    std::lock_guard guard(table.lock);
    for (const auto& [token, entry] : table.entries) {
        bool sameFile = entry.device == facts.device && entry.inode == facts.inode;
        if (sameFile && !Compatible(entry, access, share))
            return false;
    }
    uint64_t token = table.nextToken++;
    table.entries.emplace(token, ShareEntry{facts.device, facts.inode, access, share});
    m_shareToken = token;
    return true;
}

void FileObject::LeaveShareTable() {
    uint64_t token = m_shareToken.exchange(0);
    if (token == 0)
        return;
    auto& table = Shares();
    std::lock_guard guard(table.lock);
    table.entries.erase(token);
}

bool IsOpenInProcess(const FileFacts& facts) {
    auto& table = Shares();
    std::lock_guard guard(table.lock);
    for (const auto& [token, entry] : table.entries) {
        if (entry.device == facts.device && entry.inode == facts.inode)
            return true;
    }
    return false;
}

bool FileObject::RequireAccess(DWORD access) const {
    if ((m_access & access) != access) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

bool FileObject::Read(void* buffer, DWORD size, DWORD& done) {
    done = 0;
    if (!RequireAccess(GENERIC_READ))
        return false;
    std::lock_guard guard(m_lock);
    auto* bytes = static_cast<char*>(buffer);
    while (done < size) {
        ssize_t n = pread(m_fd, bytes + done, size - done, static_cast<off_t>(m_position));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        if (n == 0)
            break;  // end of file: success with fewer bytes
        done += static_cast<DWORD>(n);
        m_position += static_cast<uint64_t>(n);
    }
    return true;
}

bool FileObject::Write(const void* buffer, DWORD size, DWORD& done) {
    done = 0;
    if (!RequireAccess(GENERIC_WRITE))
        return false;
    std::lock_guard guard(m_lock);
    const auto* bytes = static_cast<const char*>(buffer);
    while (done < size) {
        ssize_t n = pwrite(m_fd, bytes + done, size - done, static_cast<off_t>(m_position));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            SetLastError(n == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
            return false;
        }
        done += static_cast<DWORD>(n);
        m_position += static_cast<uint64_t>(n);
    }
    return true;
}

bool FileObject::Seek(int64_t distance, DWORD method, uint64_t limit, uint64_t& position) {
    std::lock_guard guard(m_lock);
    int64_t base = 0;
    if (method == FILE_CURRENT) {
        base = static_cast<int64_t>(m_position);
    } else if (method == FILE_END) {
        FileFacts facts;
        if (!Facts(facts))
            return false;
        base = static_cast<int64_t>(facts.size);
    } else if (method != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    int64_t target;
    if (__builtin_add_overflow(base, distance, &target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return false;
    }
    if (static_cast<uint64_t>(target) > limit) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    m_position = position = static_cast<uint64_t>(target);
    return true;
}

bool FileObject::SetEnd() {
    if (!RequireAccess(GENERIC_WRITE))
        return false;
    std::lock_guard guard(m_lock);
    if (ftruncate(m_fd, static_cast<off_t>(m_position)) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool FileObject::Flush() {
    if (!RequireAccess(GENERIC_WRITE))
        return false;
    if (fsync(m_fd) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool FileObject::Facts(FileFacts& facts) const {
    if (!QueryFileFacts(m_fd, facts)) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool FileObject::SetTimes(const FILETIME* lastAccess, const FILETIME* lastWrite) {
    if (!RequireAccess(GENERIC_WRITE))
        return false;
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    if (lastAccess)
        times[0] = TimespecFromFileTime(*lastAccess);
    if (lastWrite)
        times[1] = TimespecFromFileTime(*lastWrite);
    if (futimens(m_fd, times) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool FileObject::SetMode(unsigned mode) {
    if (fchmod(m_fd, mode) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

}  // namespace orvi::kernel
