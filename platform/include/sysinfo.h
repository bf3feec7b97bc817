// Facts about the device: its platform type and OEM text, the work area of
// the screen, and the operating-system version.
//
// The facts can be changed for tests and for trying the programs as another
// device would run them. Each call reads the environment afresh:
//   ORVI_PLATFORM_TYPE  platform-type text (default "PocketPC")
//   ORVI_OEM_INFO       OEM text (default "Orvi Handheld")
//   ORVI_OS_VERSION     "major.minor[.build]" (default 5.2.1235; an override
//                       without a build number has build 0)
// A variable that is set but empty stands for a device that has no such text:
// the query fails with ERROR_NOT_SUPPORTED. A version that does not parse is
// ignored (traced) and the default applies.
#pragma once

#include "winerror.h"
#include "wintypes.h"

#define SPI_GETWORKAREA 48
#define SPI_GETPLATFORMTYPE 257
#define SPI_GETOEMINFO 258

// Only the queries above are offered; any other action fails with
// ERROR_INVALID_PARAMETER, as does a null pvParam.
// - SPI_GETPLATFORMTYPE, SPI_GETOEMINFO: pvParam is a WCHAR buffer and
//   uiParam its size in bytes. The text and its NUL must fit, otherwise the
//   call fails with ERROR_INSUFFICIENT_BUFFER and leaves the buffer as it was.
// - SPI_GETWORKAREA: pvParam is a RECT that receives the screen below the
//   navigation bar (screen coordinates); uiParam is ignored.
// fWinIni is ignored: nothing here can be written. Success keeps the last
// error as it was.
BOOL SystemParametersInfoW(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT fWinIni);

#define VER_PLATFORM_WIN32_CE 3

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
typedef OSVERSIONINFOW* LPOSVERSIONINFOW;

// The caller sets dwOSVersionInfoSize to sizeof(OSVERSIONINFOW). A null
// record fails with ERROR_INVALID_PARAMETER, a smaller size with
// ERROR_INSUFFICIENT_BUFFER and a larger one (an extended record this
// platform does not fill) with ERROR_INVALID_PARAMETER; a failed call writes
// nothing. The platform id is always VER_PLATFORM_WIN32_CE and the service
// pack text is empty.
BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation);
