// Host-side helpers for the file system suites: they prepare and inspect the
// device root directly, so a test never checks the platform with itself.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "TestSupport.h"
#include "platform.h"

namespace orvi::test::files {

inline void WriteHost(const std::string& path, std::string_view contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

inline std::string ReadHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names in a host folder, as the host spells them.
// Names in a host folder, leaving out the runtime folder and the standard
// folders that a new device root starts with.
inline std::set<std::string> HostNames(const std::string& folder) {
    static const std::set<std::string> kFactory = {".runtime", "Application Data", "My Documents",
                                                   "Program Files", "Temp", "Windows"};
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (!kFactory.count(name))
            names.insert(name);
    }
    return names;
}

// ASCII text as a device string.
inline std::u16string Widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

inline void MakeReadOnly(const std::string& path) {
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
}

inline bool OwnerCanWrite(const std::string& path) {
    auto perms = std::filesystem::status(path).permissions();
    return (perms & std::filesystem::perms::owner_write) != std::filesystem::perms::none;
}

inline HANDLE Open(LPCWSTR path, DWORD access, DWORD share = 0, DWORD disposition = OPEN_EXISTING) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whole contents read through the platform.
inline std::string ReadDevice(LPCWSTR path) {
    HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (h == INVALID_HANDLE_VALUE)
        return "<open failed>";
    std::string contents;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        contents.append(buffer, got);
    CloseHandle(h);
    return contents;
}

inline uint64_t Ticks(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME FromTicks(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// A host folder beside the device root, removed with the object: the place a
// link pointing out of the device leads to.
class OutsideFolder {
public:
    explicit OutsideFolder(const TempDeviceRoot& root) : m_path(root.HostPath() + "-outside") {
        std::filesystem::create_directories(m_path);
    }
    ~OutsideFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace orvi::test::files
