// Common controls start-up and accelerator tables (see commctrl.h).
#include "commctrl.h"

#include <atomic>

#include "moduleapi.h"

namespace {

constexpr DWORD kKnownClasses = ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                ICC_COOL_CLASSES | ICC_INTERNET_CLASSES |
                                ICC_PAGESCROLLER_CLASS | ICC_NATIVEFNTCTL_CLASS;

std::atomic<DWORD> g_initializedClasses{0};

}  // namespace

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* lpInitCtrls) {
    if (!lpInitCtrls || lpInitCtrls->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_initializedClasses.fetch_or(lpInitCtrls->dwICC & kKnownClasses);
    return TRUE;
}

DWORD OrviInitializedCommonControls() {
    return g_initializedClasses.load();
}

HACCEL LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR /*lpTableName*/) {
    // The version query tells a bad handle and a module without resources
    // apart (and sets their errors); a module that has resources still has
    // no accelerator tables among them.
    WORD version[4];
    if (OrviGetModuleVersion(hInstance, version))
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

int TranslateAcceleratorW(HWND /*hWnd*/, HACCEL /*hAccTable*/, LPMSG /*lpMsg*/) {
    SetLastError(ERROR_INVALID_ACCEL_HANDLE);
    return 0;
}
