// Common controls start-up and keyboard accelerator tables.
//
// InitCommonControlsEx records which control classes a process asked for;
// the control classes check the record when they register. Accelerator
// tables: no module carries any (the resource record has no field for them),
// so loading one always fails and nothing is ever translated.
#pragma once

#include "msgqueue.h"
#include "winerror.h"
#include "wintypes.h"

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_HOTKEY_CLASS 0x00000040
#define ICC_ANIMATE_CLASS 0x00000080
#define ICC_WIN95_CLASSES 0x000000FF
#define ICC_DATE_CLASSES 0x00000100
#define ICC_USEREX_CLASSES 0x00000200
#define ICC_COOL_CLASSES 0x00000400
#define ICC_INTERNET_CLASSES 0x00000800
#define ICC_PAGESCROLLER_CLASS 0x00001000
#define ICC_NATIVEFNTCTL_CLASS 0x00002000

// The record holds no pointers: 8 bytes here as on the device.
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
typedef INITCOMMONCONTROLSEX* LPINITCOMMONCONTROLSEX;
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "the device's record size");

// dwSize must be sizeof(INITCOMMONCONTROLSEX); a null record or another size
// fails with FALSE and ERROR_INVALID_PARAMETER. Bits of dwICC this platform
// does not know are ignored. Thread-safe; calls add to what earlier calls
// asked for.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* lpInitCtrls);
// The ICC_ bits every successful InitCommonControlsEx of this process asked
// for so far, 0 before the first.
DWORD OrviInitializedCommonControls();

// Always NULL, since no module carries accelerator tables: an invalid
// instance handle fails with ERROR_INVALID_HANDLE, a module without any
// resources with ERROR_RESOURCE_DATA_NOT_FOUND, a module with resources with
// ERROR_RESOURCE_TYPE_NOT_FOUND.
HACCEL LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName);
// Translates nothing and returns 0: a null table, like any other, is not a
// valid table (ERROR_INVALID_ACCEL_HANDLE).
int TranslateAcceleratorW(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg);
