// Device paths to host paths and back. The device's names are case-insensitive
// and case-preserving while the host's are case-sensitive, so every existing
// component is looked up by folding both sides; a component that does not
// exist yet keeps the case the caller gave, which is the name it will be
// created with.
#include "DevicePath.h"

#include "textapi.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

namespace orvi::kernel {
namespace {

constexpr std::string_view kRuntimeFolder = ".runtime";

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsValidName(std::u16string_view name, bool allowWildcards) {
    for (char16_t c : name) {
        if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|')
            return false;
        if ((c == u'*' || c == u'?') && !allowWildcards)
            return false;
    }
    return true;
}

// Splits a device path into its components: empty ones and "." vanish, ".."
// removes the one before it. In a pattern path the last component is kept as
// written (a trailing separator makes it empty, which matches nothing).
bool SplitDevicePath(std::u16string_view path, PathUse use, std::vector<std::u16string>& parts) {
    std::vector<std::u16string_view> tokens;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || IsSeparator(path[i])) {
            if (i > start)
                tokens.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    if (use == PathUse::Pattern && IsSeparator(path.back()))
        tokens.push_back(std::u16string_view());
    for (size_t k = 0; k < tokens.size(); ++k) {
        bool patternLeaf = use == PathUse::Pattern && k + 1 == tokens.size();
        if (!IsValidName(tokens[k], patternLeaf)) {
            SetLastError(ERROR_INVALID_NAME);
            return false;
        }
        if (!patternLeaf && tokens[k] == u".")
            continue;
        if (!patternLeaf && tokens[k] == u"..") {
            if (parts.empty()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return false;
            }
            parts.pop_back();
            continue;
        }
        parts.emplace_back(tokens[k]);
    }
    return true;
}

bool IsFolder(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CanonicalRoot() {
    std::string root = DeviceRootHostPath();
    if (char* real = realpath(root.c_str(), nullptr)) {
        root = real;
        std::free(real);
    }
    return root;
}

bool StartsWithFolder(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size() || path.substr(0, folder.size()) != folder)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

// True for a canonical host path inside the device and outside its runtime
// folder.
bool IsInsideDevice(const std::string& realPath) {
    std::string root = CanonicalRoot();
    std::string runtime = root + "/" + std::string(kRuntimeFolder);
    return StartsWithFolder(realPath, root) && !StartsWithFolder(realPath, runtime);
}

bool IsLink(const std::string& hostPath) {
    struct stat st;
    return lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// False also when the path cannot be resolved: a dangling link could create
// a file anywhere.
bool RealPathInside(const std::string& hostPath) {
    char* real = realpath(hostPath.c_str(), nullptr);
    if (!real)
        return false;
    std::string target(real);
    std::free(real);
    return IsInsideDevice(target);
}

// Finds the entry of hostFolder whose name equals name case-insensitively.
// An entry with exactly the given spelling wins; among several that differ
// only in case (possible on the host) the smallest byte string is taken so
// the answer does not depend on directory order.
bool FindEntryNoCase(const std::string& hostFolder, std::u16string_view name, bool inRoot,
                     std::string& hostName) {
    std::string exact = Utf16ToUtf8(name);
    struct stat st;
    if (lstat((hostFolder + "/" + exact).c_str(), &st) == 0) {
        hostName = exact;
        return true;
    }
    DIR* dir = opendir(hostFolder.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        std::string_view candidate = entry->d_name;
        if (!IsVisibleEntry(inRoot, candidate) || !EqualNoCase(Utf8ToUtf16(candidate), name))
            continue;
        if (!found || candidate < hostName) {
            hostName = candidate;
            found = true;
        }
    }
    closedir(dir);
    return found;
}

// Lexically removes "." and ".." from a host path relative to the root;
// false when ".." would climb above it.
bool NormaliseRelative(std::string_view rest, std::vector<std::string_view>& parts) {
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] != '/')
            continue;
        std::string_view part = rest.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
        } else {
            parts.push_back(part);
        }
    }
    return true;
}

}  // namespace

// Names compare by Unicode simple lower-case mapping, like every other
// case-insensitive comparison of the system.
char16_t FoldCase(char16_t c) { return towlower(c); }

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

namespace {

bool MatchWildcards(std::u16string_view pattern, std::u16string_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchPattern(std::u16string_view pattern, std::u16string_view name) {
    if (MatchWildcards(pattern, name))
        return true;
    bool dotStar = pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*";
    return dotStar && name.find(u'.') == std::u16string_view::npos &&
           MatchWildcards(pattern.substr(0, pattern.size() - 2), name);
}

bool IsVisibleEntry(bool inRoot, std::string_view hostName) {
    if (hostName == "." || hostName == ".." || (inRoot && hostName == kRuntimeFolder))
        return false;
    if (hostName.substr(0, kAtomicTempPrefix.size()) == kAtomicTempPrefix)
        return false;
    return Utf16ToUtf8(Utf8ToUtf16(hostName)) == hostName;
}

bool LinkStaysInside(const std::string& hostPath) {
    return !IsLink(hostPath) || RealPathInside(hostPath);
}

bool IsRootFolder(const std::string& hostFolder) {
    if (hostFolder == DeviceRootHostPath())
        return true;
    char* real = realpath(hostFolder.c_str(), nullptr);
    if (!real)
        return false;
    bool isRoot = CanonicalRoot() == real;
    std::free(real);
    return isRoot;
}

bool ResolveDevicePath(std::u16string_view devicePath, PathUse use, ResolvedPath& out) {
    out = ResolvedPath();
    if (devicePath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (devicePath.size() >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::vector<std::u16string> parts;
    if (!SplitDevicePath(devicePath, use, parts))
        return false;
    bool runtimeLeafPattern = use == PathUse::Pattern && parts.size() == 1;
    if (!parts.empty() && !runtimeLeafPattern && EqualNoCase(parts[0], u".runtime")) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string current = DeviceRootHostPath();
    out.parentHost = current;
    out.parentExists = true;
    bool exists = true;
    bool throughLink = false;  // once a link was followed, every step is checked
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if (last) {
            out.parentHost = current;
            out.leaf = parts[i];
        }
        std::string hostName;
        bool lookUp = exists && !(last && use == PathUse::Pattern);
        if (lookUp && FindEntryNoCase(current, parts[i], i == 0, hostName)) {
            current += '/' + hostName;
            throughLink = throughLink || IsLink(current);
            if (throughLink && !RealPathInside(current)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return false;
            }
            if (!last && !IsFolder(current))
                exists = out.parentExists = false;
        } else {
            exists = false;
            if (!last)
                out.parentExists = false;
            current += '/' + Utf16ToUtf8(parts[i]);
        }
    }
    out.host = current;
    out.isRoot = parts.empty();
    out.leafExists = exists && use == PathUse::Name;
    return true;
}

bool DevicePathToHost(std::u16string_view devicePath, std::string& hostPath) {
    ResolvedPath resolved;
    if (!ResolveDevicePath(devicePath, PathUse::Name, resolved))
        return false;
    hostPath = resolved.host;
    return true;
}

bool HostPathToDevice(const std::string& hostPath, std::u16string& devicePath) {
    std::string_view rest;
    std::string root = DeviceRootHostPath();
    std::string canonical = CanonicalRoot();
    if (StartsWithFolder(hostPath, root))
        rest = std::string_view(hostPath).substr(root.size());
    else if (StartsWithFolder(hostPath, canonical))
        rest = std::string_view(hostPath).substr(canonical.size());
    else
        return false;
    std::vector<std::string_view> parts;
    if (!NormaliseRelative(rest, parts) || (!parts.empty() && parts[0] == kRuntimeFolder))
        return false;
    std::u16string result;
    for (std::string_view part : parts) {
        result.push_back(u'\\');
        result += Utf8ToUtf16(part);
    }
    if (result.empty())
        result.push_back(u'\\');
    devicePath = std::move(result);
    return true;
}

}  // namespace orvi::kernel
