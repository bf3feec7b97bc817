// Facts about the device, one record per process: platform kind, OEM text,
// operating-system version, network presence.
//
// Threading: any thread may ask. The platform kind and the OEM text are
// filled on first use; concurrent first calls may each ask the platform and
// store the same answer, which is why both are kept race-free (an atomic and
// a once-guard) rather than under a lock held across the platform call.
#pragma once

#include <atomic>
#include <mutex>

#include "platform.h"
#include "sysinfo.h"

class CDeviceInfo {
public:
    enum Kind : LONG { KindUnknown = 0, KindPocketPC = 1, KindSmartphone = 2, KindPalm = 3, KindOther = 4 };

    // Fills the version record; the process's instance is built before
    // WinMain runs.
    CDeviceInfo();

    LONG PlatformKind();
    // "PPC", "SP", "PALM", "wince", or empty text while the kind is unknown.
    LPCWSTR PlatformShortName();
    // The OEM text, a single space when the platform has none.
    LPCWSTR OemInfo();
    BOOL HasNetworkAddress(BOOL usePeerFallback);
    BOOL IsDesktopPassThrough();
    DWORD OsMajorVersion() const { return m_version.dwMajorVersion; }

private:
    std::atomic<LONG> m_platformKind{KindUnknown};
    std::once_flag m_oemOnce;
    WCHAR m_oemInfo[128] = {};
    OSVERSIONINFOW m_version{};
};

// The process's device facts.
extern CDeviceInfo g_deviceInfo;
