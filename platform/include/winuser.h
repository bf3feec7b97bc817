// Windows, messages, input and painting of the device.
//
// Threading: a window belongs to the thread that created it; its window
// procedure runs only on that thread. SendMessageW to a window of another
// thread blocks the caller until the owner has handled it; meanwhile the
// caller keeps handling messages sent to itself, so two threads that send to
// each other do not deadlock. Owners handle incoming sent messages inside
// GetMessageW, PeekMessageW, WaitMessage and their own SendMessageW waits.
//
// Handles: window handles are even numbers that also name the process that
// owns the window, so a handle found with FindWindowW in another process can
// be posted and sent to, and `hwnd | 1` can carry SetForegroundWindow's flag.
// Only numbers cross a process boundary: see PostMessageW.
#pragma once

#include "msgqueue.h"
#include "wingdi.h"

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);
typedef WORD ATOM;

#define MAKEWPARAM(l, h) static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h)))
#define MAKELPARAM(l, h) static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h)))
#define MAKELRESULT(l, h) static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(l, h)))
#define GET_X_LPARAM(lp) static_cast<int>(static_cast<short>(LOWORD(lp)))
#define GET_Y_LPARAM(lp) static_cast<int>(static_cast<short>(HIWORD(lp)))
#define MAKEINTRESOURCEW(i) reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i)))

// ---- window messages ---------------------------------------------------------
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_ERASEBKGND 0x0014
#define WM_SYSCOLORCHANGE 0x0015
#define WM_SHOWWINDOW 0x0018
#define WM_SETTINGCHANGE 0x001A
#define WM_CANCELMODE 0x001F
#define WM_SETCURSOR 0x0020
#define WM_DRAWITEM 0x002B
#define WM_MEASUREITEM 0x002C
#define WM_DELETEITEM 0x002D
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGING 0x0046
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_COPYDATA 0x004A
#define WM_NOTIFY 0x004E
#define WM_HELP 0x0053
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_DEADCHAR 0x0103
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_INITMENUPOPUP 0x0117
#define WM_MENUSELECT 0x011F
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_PARENTNOTIFY 0x0210
#define WM_CAPTURECHANGED 0x0215
#define WM_HOTKEY 0x0312

// WM_ACTIVATE wParam (low word).
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2
// WM_SIZE wParam.
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
// Mouse key state in wParam.
#define MK_LBUTTON 0x0001
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008

// ---- window styles -----------------------------------------------------------
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_NOACTIVATE 0x08000000L

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_PARENTDC 0x0080
#define CS_GLOBALCLASS 0x4000

#define CW_USEDEFAULT (static_cast<int>(0x80000000))

#define HWND_BROADCAST (reinterpret_cast<HWND>(0xffff))
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))

// ---- classes and creation ----------------------------------------------------
struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;  // a brush, or (HBRUSH)(COLOR_x + 1)
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
typedef WNDCLASSW* LPWNDCLASSW;

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
typedef CREATESTRUCTW* LPCREATESTRUCTW;

struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int x;
    int y;
    int cx;
    int cy;
    UINT flags;
};
typedef WINDOWPOS* LPWINDOWPOS;

// Classes are registered per module instance; a class registered with a
// null hInstance (or CS_GLOBALCLASS) is found from any instance. Fails with
// ERROR_CLASS_ALREADY_EXISTS for a second registration of the same name.
ATOM RegisterClassW(const WNDCLASSW* lpWndClass);
// Fails with ERROR_CLASS_DOES_NOT_EXIST, or ERROR_CLASS_HAS_WINDOWS while
// windows of the class exist.
BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
BOOL GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass);
int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount);

// The first message a window procedure receives is WM_CREATE (lParam a
// CREATESTRUCTW*); returning -1 fails the creation (the window gets
// WM_DESTROY and the call returns NULL). WM_SIZE and WM_MOVE follow, then
// WM_SHOWWINDOW when WS_VISIBLE is given. CW_USEDEFAULT for a top-level
// window means the work area below the navigation bar. For a child window
// hMenu is its control id.
HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                     int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                     HINSTANCE hInstance, LPVOID lpParam);
#define CreateWindowW(cls, name, style, x, y, w, h, parent, menu, inst, param) \
    CreateWindowExW(0, cls, name, style, x, y, w, h, parent, menu, inst, param)
// Only the owner thread may destroy a window (ERROR_ACCESS_DENIED). Owned
// windows go first; then WM_DESTROY reaches the window before its children,
// and WM_NCDESTROY the children before the window.
BOOL DestroyWindow(HWND hWnd);
BOOL IsWindow(HWND hWnd);
BOOL IsChild(HWND hWndParent, HWND hWnd);
HWND GetDesktopWindow();

// ---- position, z-order and visibility ---------------------------------------
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOOWNERZORDER 0x0200

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

// Returns whether the window was visible before the call.
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
// Sends WM_WINDOWPOSCHANGED; DefWindowProcW turns it into WM_MOVE / WM_SIZE.
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags);
BOOL BringWindowToTop(HWND hWnd);
BOOL IsWindowVisible(HWND hWnd);
BOOL IsWindowEnabled(HWND hWnd);
// Returns whether the window was disabled before; sends WM_ENABLE on change.
BOOL EnableWindow(HWND hWnd, BOOL bEnable);
// Window rectangles are in screen coordinates; WS_BORDER (and WS_CAPTION,
// which includes it) takes one pixel on each side from the client area.
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint);
BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint);
// A null handle means screen coordinates. Returns the offset (x in the low
// word, y in the high word); 0 with the last error set on failure.
int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints);
HWND WindowFromPoint(POINT Point);
HWND ChildWindowFromPoint(HWND hWndParent, POINT Point);

// ---- relations ---------------------------------------------------------------
HWND GetParent(HWND hWnd);
HWND SetParent(HWND hWndChild, HWND hWndNewParent);
HWND GetWindow(HWND hWnd, UINT uCmd);
// Looks among the direct children; ERROR_CONTROL_ID_NOT_FOUND when none has the id.
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hWnd);
// Visits every descendant, children before grandchildren of the same child,
// in z-order; stops when the callback returns FALSE.
BOOL EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam);
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
// Looks in this process, then among the top-level windows other processes
// announced. Either argument may be null (any).
HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);

// ---- window data -------------------------------------------------------------
#define GWL_WNDPROC (-4)
#define GWL_HINSTANCE (-6)
#define GWL_HWNDPARENT (-8)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
#define GWLP_WNDPROC GWL_WNDPROC
#define GWLP_HINSTANCE GWL_HINSTANCE
#define GWLP_ID GWL_ID
#define GWLP_USERDATA GWL_USERDATA

// Pointers are 64-bit on this host: GWL_WNDPROC and GWL_USERDATA (and
// pointer-sized cbWndExtra slots) must go through the ...LongPtrW forms.
// The 32-bit forms read and write only the low 32 bits (sign-extended on
// write); GetWindowLongW(GWL_WNDPROC) and SetWindowLongW(GWL_WNDPROC) fail
// with ERROR_INVALID_INDEX because a truncated procedure cannot be called.
// Indexes into the extra bytes fail with ERROR_INVALID_INDEX when they pass
// cbWndExtra. Setting GWL_WNDPROC subclasses the window:
// the new procedure forwards with CallWindowProcW(previous, ...).
LONG GetWindowLongW(HWND hWnd, int nIndex);
LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong);
LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex);
LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LRESULT CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Text goes through WM_SETTEXT / WM_GETTEXT (DefWindowProcW keeps it). For
// a window of another process the announced title is answered.
BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString);
int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount);
int GetWindowTextLengthW(HWND hWnd);

BOOL SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData);
HANDLE GetPropW(HWND hWnd, LPCWSTR lpString);
HANDLE RemovePropW(HWND hWnd, LPCWSTR lpString);

// ---- focus, activation, capture ---------------------------------------------
// Focus, activation, capture and foreground are process-wide, as on the
// device. All of them return the previous window.
HWND SetFocus(HWND hWnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hWnd);
HWND GetActiveWindow();
// Accepts `hwnd | 1` (bring the window's owned windows forward with it;
// here: the window itself). A window of another process is made foreground
// there, and that process raises its desktop window.
BOOL SetForegroundWindow(HWND hWnd);
HWND GetForegroundWindow();
HWND SetCapture(HWND hWnd);
BOOL ReleaseCapture();
HWND GetCapture();

// ---- messages ----------------------------------------------------------------
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
#define SMTO_NOTIMEOUTIFNOTHUNG 0x0008

#define ISMEX_NOSEND 0x00000000
#define ISMEX_SEND 0x00000001
#define ISMEX_NOTIFY 0x00000002
#define ISMEX_CALLBACK 0x00000004
#define ISMEX_REPLIED 0x00000008
// This platform's own flag: the message came from another process, so its
// parameters are plain numbers (never pointers valid here).
#define ISMEX_OTHERPROCESS 0x00010000

// A message below WM_USER crosses into another process only when its
// parameters are plain numbers (WM_NULL, WM_CLOSE, WM_COMMAND, WM_ACTIVATE,
// WM_SETFOCUS, WM_KILLFOCUS, WM_ENABLE, WM_SHOWWINDOW, WM_KEYDOWN, WM_KEYUP,
// WM_CHAR, WM_TIMER without a procedure, WM_HSCROLL, WM_VSCROLL, mouse
// messages, WM_HOTKEY, WM_SYSCOMMAND, WM_CANCELMODE, WM_SETTINGCHANGE with
// lParam 0). Any other one (WM_SETTEXT, WM_COPYDATA, WM_NOTIFY, ...) is
// refused by the receiving process: the call fails with
// ERROR_ACCESS_DENIED and the message is traced. WM_USER and above cross as
// numbers; the receiver can tell with InSendMessageEx (ISMEX_OTHERPROCESS).
BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// Returns 0 with ERROR_TIMEOUT when the time ran out (or, with
// SMTO_ABORTIFHUNG, at once when the target has not looked at its queue
// for five seconds); *lpdwResult gets the result otherwise.
LRESULT SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                            UINT uTimeout, DWORD_PTR* lpdwResult);
// Does not wait for a window of another thread.
BOOL SendNotifyMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
BOOL InSendMessage();
DWORD InSendMessageEx(LPVOID lpReserved);
// Lets the sender go on with lResult while the handler keeps running.
BOOL ReplyMessage(LRESULT lResult);
LRESULT DispatchMessageW(const MSG* lpMsg);
// Posts WM_CHAR after a WM_KEYDOWN of a letter, digit, space, Enter, Escape,
// Back or Tab (at the end of the queue).
BOOL TranslateMessage(const MSG* lpMsg);
// The same number for the same name in every process (0xC000-0xFFFF).
UINT RegisterWindowMessageW(LPCWSTR lpString);
// Screen position of the latest stylus input (x low word, y high word).
DWORD GetMessagePos();
LONG GetMessageTime();

// ---- timers ------------------------------------------------------------------
// With a window, returns nIDEvent; without, a new id. WM_TIMER comes when
// nothing else is queued; a TIMERPROC is called by DispatchMessageW.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// ---- painting ----------------------------------------------------------------
struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;  // TRUE: WM_ERASEBKGND did not erase, the painter must
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

// Invalidating a window without WS_CLIPCHILDREN invalidates the children
// under the area as well. A null handle invalidates every window.
BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
BOOL ValidateRect(HWND hWnd, const RECT* lpRect);
BOOL GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase);
BOOL UpdateWindow(HWND hWnd);
HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
// Screen DCs clipped to what of the window is visible (GetDC: the client
// area; GetWindowDC: the whole window). GetDC(NULL) covers the screen.
HDC GetDC(HWND hWnd);
HDC GetWindowDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);

// ---- rectangles --------------------------------------------------------------
BOOL SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);
BOOL SetRectEmpty(LPRECT lprc);
BOOL CopyRect(LPRECT lprcDst, const RECT* lprcSrc);
BOOL IsRectEmpty(const RECT* lprc);
BOOL EqualRect(const RECT* lprc1, const RECT* lprc2);
BOOL PtInRect(const RECT* lprc, POINT pt);
BOOL OffsetRect(LPRECT lprc, int dx, int dy);
BOOL InflateRect(LPRECT lprc, int dx, int dy);
BOOL IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
BOOL UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
BOOL SubtractRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);

// ---- keyboard ----------------------------------------------------------------
#define VK_LBUTTON 0x01
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73

// High bit set while the key is down (from the input seen so far).
short GetKeyState(int nVirtKey);
short GetAsyncKeyState(int vKey);
