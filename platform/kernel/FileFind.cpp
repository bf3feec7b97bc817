// Folder enumeration. FindFirstFileW takes a snapshot of the matching names,
// sorted case-insensitively so the order does not depend on the host; each
// step examines its entry when it is reached, so an entry deleted meanwhile
// is skipped rather than reported with stale data.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "DevicePath.h"
#include "FileFacts.h"
#include "fileapi.h"

namespace orvi::kernel {
namespace {

// Threading: a find handle may be stepped from several threads; each step
// takes one entry under the lock.
class FindObject : public KernelObject {
public:
    FindObject(std::string folder, std::vector<std::string> names)
        : KernelObject(ObjectType::Find), m_folder(std::move(folder)), m_names(std::move(names)) {}

    // False at the end (no last error set).
    bool Next(WIN32_FIND_DATAW& data) {
        std::lock_guard guard(m_lock);
        while (m_next < m_names.size()) {
            const std::string& name = m_names[m_next++];
            std::string host = m_folder + "/" + name;
            FileFacts facts;
            if (!LinkStaysInside(host) || !QueryFileFacts(host, facts))
                continue;
            Fill(name, facts, data);
            return true;
        }
        return false;
    }

private:
    static void Fill(const std::string& name, const FileFacts& facts, WIN32_FIND_DATAW& data) {
        data = WIN32_FIND_DATAW();
        data.dwFileAttributes = AttributesOf(facts, name);
        data.ftCreationTime = facts.creationTime;
        data.ftLastAccessTime = facts.lastAccessTime;
        data.ftLastWriteTime = facts.lastWriteTime;
        uint64_t size = facts.isFolder ? 0 : facts.size;
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
        data.dwOID = static_cast<DWORD>(facts.inode);
        std::u16string wide = Utf8ToUtf16(name);
        size_t count = std::min<size_t>(wide.size(), MAX_PATH - 1);
        std::copy_n(wide.begin(), count, data.cFileName);
    }

    const std::string m_folder;
    const std::vector<std::string> m_names;
    std::mutex m_lock;
    size_t m_next = 0;
};

bool FoldedLess(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return FoldCase(x) < FoldCase(y); });
}

// Host names in folder that the device may see and that match pattern,
// sorted by folded name (ties by host bytes). False with the last error set
// when the folder cannot be read.
bool MatchingNames(const ResolvedPath& path, std::vector<std::string>& names) {
    DIR* dir = opendir(path.parentHost.c_str());
    if (!dir) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : ErrorFromErrno(errno));
        return false;
    }
    bool inRoot = IsRootFolder(path.parentHost);
    std::vector<std::pair<std::u16string, std::string>> found;
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (!IsVisibleEntry(inRoot, name))
            continue;
        std::u16string wide = Utf8ToUtf16(name);
        if (MatchPattern(path.leaf, wide))
            found.emplace_back(std::move(wide), std::string(name));
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (FoldedLess(a.first, b.first))
            return true;
        if (FoldedLess(b.first, a.first))
            return false;
        return a.second < b.second;
    });
    for (auto& entry : found)
        names.push_back(std::move(entry.second));
    return true;
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (!lpFileName || !lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ResolvedPath path;
    if (!ResolveDevicePath(lpFileName, PathUse::Pattern, path))
        return INVALID_HANDLE_VALUE;
    if (!path.parentExists) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    if (!MatchingNames(path, names))
        return INVALID_HANDLE_VALUE;
    auto find = std::make_shared<FindObject>(path.parentHost, std::move(names));
    if (!find->Next(*lpFindFileData)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return InsertHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto find = ReferenceHandleAs<FindObject>(hFindFile, ObjectType::Find);
    if (!find)
        return FALSE;
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!find->Next(*lpFindFileData)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
    if (!ReferenceHandleAs<FindObject>(hFindFile, ObjectType::Find))
        return FALSE;
    if (!RemoveHandle(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
