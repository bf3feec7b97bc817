// Device facts: SystemParametersInfoW (platform type, OEM text, work area)
// and GetVersionExW, with the environment overrides described in sysinfo.h.
#include "sysinfo.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "display/Display.h"
#include "internal.h"

namespace orvi::kernel {
namespace {

constexpr char16_t kDefaultPlatformType[] = u"PocketPC";
constexpr char16_t kDefaultOemInfo[] = u"Orvi Handheld";

struct OsVersion {
    DWORD major = 5;
    DWORD minor = 2;
    DWORD build = 1235;
};

// The text a device fact has: the variable's value when it is set (empty
// meaning the device has none), else the built-in default.
std::u16string DeviceText(const char* variable, std::u16string_view fallback) {
    if (const char* value = std::getenv(variable))
        return Utf8ToUtf16(value);
    return std::u16string(fallback);
}

// Parses one decimal field and the separator after it; advances `text`.
bool ParseField(std::string_view& text, DWORD& field) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), field);
    if (ec != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

std::optional<OsVersion> ParseOsVersion(std::string_view text) {
    OsVersion version;
    version.build = 0;
    if (!ParseField(text, version.major) || text.empty() || text.front() != '.')
        return std::nullopt;
    text.remove_prefix(1);
    if (!ParseField(text, version.minor))
        return std::nullopt;
    if (text.empty())
        return version;
    if (text.front() != '.')
        return std::nullopt;
    text.remove_prefix(1);
    if (!ParseField(text, version.build) || !text.empty())
        return std::nullopt;
    return version;
}

OsVersion CurrentOsVersion() {
    const char* value = std::getenv("ORVI_OS_VERSION");
    if (!value)
        return OsVersion{};
    if (auto parsed = ParseOsVersion(value))
        return *parsed;
    Trace("sysinfo: ORVI_OS_VERSION \"%s\" is not major.minor[.build]; using the default", value);
    return OsVersion{};
}

// Copies a device text into the caller's buffer of `bytes` bytes.
BOOL CopyDeviceText(const std::u16string& text, UINT bytes, LPVOID buffer) {
    if (text.empty()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const size_t capacity = bytes / sizeof(WCHAR);
    if (text.size() + 1 > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The buffer need not be aligned for WCHAR; copy bytes.
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

}  // namespace
}  // namespace orvi::kernel

BOOL SystemParametersInfoW(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT /*fWinIni*/) {
    using namespace orvi::kernel;
    if (!pvParam) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (uiAction) {
    case SPI_GETPLATFORMTYPE:
        return CopyDeviceText(DeviceText("ORVI_PLATFORM_TYPE", kDefaultPlatformType), uiParam,
                              pvParam);
    case SPI_GETOEMINFO:
        return CopyDeviceText(DeviceText("ORVI_OEM_INFO", kDefaultOemInfo), uiParam, pvParam);
    case SPI_GETWORKAREA: {
        const RECT area = orvi::display::WorkArea();
        std::memcpy(pvParam, &area, sizeof(area));
        return TRUE;
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
    using namespace orvi::kernel;
    if (!lpVersionInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOW)) {
        SetLastError(size < sizeof(OSVERSIONINFOW) ? ERROR_INSUFFICIENT_BUFFER
                                                   : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const OsVersion version = CurrentOsVersion();
    lpVersionInformation->dwMajorVersion = version.major;
    lpVersionInformation->dwMinorVersion = version.minor;
    lpVersionInformation->dwBuildNumber = version.build;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_CE;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof(lpVersionInformation->szCSDVersion));
    return TRUE;
}

// See kernelapi.h: nothing on this host switches the display off by idleness.
void SystemIdleTimerReset() {}
