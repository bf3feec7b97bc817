// What the device reports about a host file: attributes, times and size in
// the device's terms.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "internal.h"

namespace orvi::kernel {

struct FileFacts {
    bool isFolder = false;
    bool readOnly = false;  // the owner's write permission is clear
    unsigned mode = 0;      // host permission bits
    uint64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    FILETIME creationTime{};
    FILETIME lastAccessTime{};
    FILETIME lastWriteTime{};
};

// Follows links. False with errno set when the file cannot be examined.
bool QueryFileFacts(const std::string& hostPath, FileFacts& facts);
bool QueryFileFacts(int fd, FileFacts& facts);

// Device attributes of a file whose last host name component is hostName.
DWORD AttributesOf(const FileFacts& facts, std::string_view hostName);

// FILETIME counts 100 ns from 1601-01-01 UTC; host times count from 1970.
// Times before 1601 become 0.
FILETIME FileTimeFromTimespec(const timespec& ts);
timespec TimespecFromFileTime(const FILETIME& ft);


}  // namespace orvi::kernel
