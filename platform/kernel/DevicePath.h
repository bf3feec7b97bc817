// Device path resolution shared by the file system's API files: how a device
// path becomes a host path below the root, how names compare, and which host
// entries the device may see.
#pragma once

#include <string>
#include <string_view>

#include "internal.h"

namespace orvi::kernel {

// Whether the last component is a name or an enumeration pattern ('*' and
// '?' allowed, not looked up).
enum class PathUse { Name, Pattern };

struct ResolvedPath {
    std::string host;          // host path; components that do not exist keep the given case
    std::string parentHost;    // host folder that holds (or would hold) the last component
    std::u16string leaf;       // last component as given; empty for the root
    bool parentExists = false; // every folder above the leaf exists as a folder
    bool leafExists = false;   // the leaf exists (always false for a pattern)
    bool isRoot = false;       // the path names the root folder itself
};

// Resolves a device path. Refuses (false, last error set) a path longer than
// MAX_PATH - 1 (ERROR_FILENAME_EXCED_RANGE), an empty one
// (ERROR_PATH_NOT_FOUND), invalid characters (ERROR_INVALID_NAME), and a path
// that leaves the device: ".." above the root, a link pointing out of it, or
// the host-only ".runtime" folder (ERROR_ACCESS_DENIED). Missing components
// are not an error; see parentExists/leafExists.
bool ResolveDevicePath(std::u16string_view devicePath, PathUse use, ResolvedPath& out);

// Unicode simple case folding for the scripts names on the device use (Latin
// with its supplements and Extended-A, Greek, Cyrillic); other characters are
// returned as they are.
char16_t FoldCase(char16_t c);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
// Case-insensitive match of '*' (any run) and '?' (one character). A pattern
// ending in ".*" also matches a name that has no dot.
bool MatchPattern(std::u16string_view pattern, std::u16string_view name);

// False for host entries the device must not see: ".", "..", the root's
// ".runtime" folder, in-progress atomic replacement files, and names that are
// not valid UTF-8 (they could not be named again from the device).
bool IsVisibleEntry(bool inRoot, std::string_view hostName);
// True for the root folder, also when reached through a link.
bool IsRootFolder(const std::string& hostFolder);
// True when hostPath is not a link, or is a link whose target exists inside
// the device (and outside its ".runtime" folder).
bool LinkStaysInside(const std::string& hostPath);

// Prefix of the temporary files AtomicReplaceHostFile creates.
inline constexpr std::string_view kAtomicTempPrefix = ".~orvi-";

}  // namespace orvi::kernel
