// Host file metadata in the device's terms.
#include "FileFacts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "fileapi.h"

namespace orvi::kernel {
namespace {

constexpr int64_t kFileTimeOf1970 = 116444736000000000LL;
constexpr unsigned kStatxWanted = STATX_BASIC_STATS | STATX_BTIME;

FILETIME FileTimeFromStatx(const struct statx_timestamp& ts) {
    return FileTimeFromTimespec(timespec{static_cast<time_t>(ts.tv_sec), static_cast<long>(ts.tv_nsec)});
}

void FillFacts(const struct statx& sx, FileFacts& facts) {
    facts.isFolder = S_ISDIR(sx.stx_mode);
    facts.readOnly = (sx.stx_mode & S_IWUSR) == 0;
    facts.mode = sx.stx_mode & 07777;
    facts.size = sx.stx_size;
    facts.device = (static_cast<uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    facts.inode = sx.stx_ino;
    facts.lastAccessTime = FileTimeFromStatx(sx.stx_atime);
    facts.lastWriteTime = FileTimeFromStatx(sx.stx_mtime);
    // Not every host file system records a birth time; the change time is the
    // closest it keeps.
    facts.creationTime = FileTimeFromStatx((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
}

}  // namespace

bool QueryFileFacts(const std::string& hostPath, FileFacts& facts) {
    struct statx sx;
    if (statx(AT_FDCWD, hostPath.c_str(), 0, kStatxWanted, &sx) != 0)
        return false;
    FillFacts(sx, facts);
    return true;
}

bool QueryFileFacts(int fd, FileFacts& facts) {
    struct statx sx;
    if (statx(fd, "", AT_EMPTY_PATH, kStatxWanted, &sx) != 0)
        return false;
    FillFacts(sx, facts);
    return true;
}

DWORD AttributesOf(const FileFacts& facts, std::string_view hostName) {
    DWORD attributes = facts.isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (facts.readOnly)
        attributes |= FILE_ATTRIBUTE_READONLY;
    if (!hostName.empty() && hostName[0] == '.')
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

FILETIME FileTimeFromTimespec(const timespec& ts) {
    int64_t ticks = static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100 + kFileTimeOf1970;
    if (ticks < 0)
        ticks = 0;
    uint64_t value = static_cast<uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

timespec TimespecFromFileTime(const FILETIME& ft) {
    uint64_t value = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // Two's-complement arithmetic keeps times before 1970 exact.
    int64_t ticks = static_cast<int64_t>(value - static_cast<uint64_t>(kFileTimeOf1970));
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

}  // namespace orvi::kernel
