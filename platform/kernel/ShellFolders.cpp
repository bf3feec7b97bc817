// The shell's special folders and the temporary folder: fixed device paths,
// as on the device, where they are part of the built-in file system.
#include <algorithm>
#include <string_view>

#include "DevicePath.h"
#include "fileapi.h"

namespace orvi::kernel {
namespace {

struct SpecialFolder {
    int csidl;
    std::u16string_view path;
};

constexpr SpecialFolder kSpecialFolders[] = {
    {CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs"},
    {CSIDL_PERSONAL, u"\\My Documents"},
    {CSIDL_STARTUP, u"\\Windows\\StartUp"},
    {CSIDL_STARTMENU, u"\\Windows\\Start Menu"},
    {CSIDL_FONTS, u"\\Windows\\Fonts"},
    {CSIDL_APPDATA, u"\\Application Data"},
    {CSIDL_WINDOWS, u"\\Windows"},
    {CSIDL_PROGRAM_FILES, u"\\Program Files"},
};

constexpr std::u16string_view kTempPath = u"\\Temp\\";

// Creates every missing folder of a device path, top down. A folder that
// already exists is fine; anything else in the way fails with its code.
bool CreateFolderChain(std::u16string_view path) {
    for (size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && path[end] != u'\\')
            continue;
        std::u16string prefix(path.substr(0, end));
        if (prefix == u"\\")
            continue;
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        DWORD attributes = GetFileAttributesW(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetLastError(ERROR_PATH_NOT_FOUND);  // a file stands where a folder should be
            return false;
        }
    }
    return true;
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

BOOL SHGetSpecialFolderPath(HWND, LPWSTR lpszPath, int nFolder, BOOL fCreate) {
    bool create = fCreate || (nFolder & CSIDL_FLAG_CREATE);
    int csidl = nFolder & ~CSIDL_FLAG_CREATE;
    const SpecialFolder* folder = nullptr;
    for (const auto& candidate : kSpecialFolders) {
        if (candidate.csidl == csidl)
            folder = &candidate;
    }
    if (!lpszPath || !folder) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (create && !CreateFolderChain(folder->path))
        return FALSE;
    std::copy(folder->path.begin(), folder->path.end(), lpszPath);
    lpszPath[folder->path.size()] = u'\0';
    return TRUE;
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    DWORD length = static_cast<DWORD>(kTempPath.size());
    if (!lpBuffer || nBufferLength <= length)
        return length + 1;
    // Programs write into the answer at once; the folder must be there.
    CreateFolderChain(kTempPath.substr(0, length - 1));
    std::copy(kTempPath.begin(), kTempPath.end(), lpBuffer);
    lpBuffer[length] = u'\0';
    return length;
}
