// API entry points: creation, position, visibility and relations of
// windows. They check handles and arguments and call the internals.
#include <algorithm>
#include <functional>

#include "display/Display.h"
#include "internal.h"

using namespace orvi::user;

namespace {

bool IsDesktop(HWND hwnd) { return hwnd == DesktopHandle(); }

RECT ScreenBounds() {
    const auto& g = orvi::display::Geometry();
    return RECT{0, 0, g.width, g.height};
}

// Screen position of a window's client origin; false with the last error
// set for an unknown window. The desktop and null are the screen itself.
bool ClientOrigin(HWND hwnd, POINT* origin) {
    if (!hwnd || IsDesktop(hwnd)) {
        *origin = POINT{0, 0};
        return true;
    }
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hwnd);
    if (!w)
        return false;
    RECT r = ClientScreenRectLocked(*w);
    *origin = POINT{r.left, r.top};
    return true;
}

bool EnumTree(const std::vector<HWND>& list, WNDENUMPROC proc, LPARAM lParam, bool recurse) {
    for (HWND h : list) {
        if (!IsWindow(h))
            continue;
        if (!proc(h, lParam))
            return false;
        if (!recurse)
            continue;
        std::vector<HWND> children;
        {
            std::lock_guard guard(TreeLock());
            if (Window* w = FindLocked(h))
                children = w->children;
        }
        if (!EnumTree(children, proc, lParam, true))
            return false;
    }
    return true;
}

}  // namespace

HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                     int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                     LPVOID lpParam) {
    std::shared_ptr<WindowClass> cls;
    {
        std::lock_guard guard(TreeLock());
        cls = FindClassLocked(lpClassName, hInstance);
    }
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (IsForeignHandle(hWndParent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (IsDesktop(hWndParent))
        hWndParent = nullptr;
    CREATESTRUCTW cs{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                     static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    return CreateWindowInternal(cs, cls);
}

BOOL DestroyWindow(HWND hWnd) { return DestroyWindowInternal(hWnd) ? TRUE : FALSE; }

BOOL IsWindow(HWND hWnd) {
    if (!hWnd)
        return FALSE;
    if (IsDesktop(hWnd))
        return TRUE;
    if (IsForeignHandle(hWnd))
        return AnnouncedInfo(hWnd, nullptr, nullptr) ? TRUE : FALSE;
    std::lock_guard guard(TreeLock());
    return FindLocked(hWnd) ? TRUE : FALSE;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
    std::lock_guard guard(TreeLock());
    return IsDescendantLocked(hWndParent, hWnd) ? TRUE : FALSE;
}

HWND GetDesktopWindow() { return DesktopHandle(); }

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    if (!IsWindow(hWnd) || IsDesktop(hWnd) || IsForeignHandle(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return ShowWindowInternal(hWnd, nCmdShow) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW);
    return SetWindowPosInternal(hWnd, nullptr, X, Y, nWidth, nHeight, flags) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
    if ((uFlags & SWP_SHOWWINDOW) && (uFlags & SWP_HIDEWINDOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return SetWindowPosInternal(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags) ? TRUE : FALSE;
}

BOOL BringWindowToTop(HWND hWnd) {
    return SetWindowPosInternal(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hWnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindLocked(hWnd);
    return w && IsShownLocked(*w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hWnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    bool wasDisabled = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hWnd);
        if (!w)
            return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !bEnable)
            return wasDisabled ? TRUE : FALSE;
        if (bEnable)
            w->style &= ~static_cast<DWORD>(WS_DISABLED);
        else
            w->style |= WS_DISABLED;
    }
    if (!bEnable) {
        std::unique_lock guard(TreeLock());
        HWND focus = InputLocked().focus;
        bool focusInside = focus && (focus == hWnd || IsDescendantLocked(hWnd, focus));
        guard.unlock();
        if (focusInside)
            SetFocusInternal(nullptr);
    }
    SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return wasDisabled ? TRUE : FALSE;
}

namespace {

// Answers a rectangle of a window (the whole screen for the desktop).
template <class Measure>
BOOL ReadWindowRect(HWND hWnd, LPRECT lpRect, Measure measureLocked) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (IsDesktop(hWnd)) {
        *lpRect = ScreenBounds();
        return TRUE;
    }
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return FALSE;
    *lpRect = measureLocked(*w);
    return TRUE;
}

}  // namespace

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
    return ReadWindowRect(hWnd, lpRect, [](Window& w) { return WindowScreenRectLocked(w); });
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    return ReadWindowRect(hWnd, lpRect, [](Window& w) { return ClientRectLocked(w); });
}

namespace {

// Moves a point by the window's client origin, times direction (+1 to the
// screen, -1 from it).
BOOL OffsetByClientOrigin(HWND hWnd, LPPOINT lpPoint, int direction) {
    POINT origin;
    if (!lpPoint || !hWnd) {
        SetLastError(lpPoint ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ClientOrigin(hWnd, &origin))
        return FALSE;
    lpPoint->x += direction * origin.x;
    lpPoint->y += direction * origin.y;
    return TRUE;
}

}  // namespace

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint) { return OffsetByClientOrigin(hWnd, lpPoint, 1); }

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint) { return OffsetByClientOrigin(hWnd, lpPoint, -1); }

int MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    POINT from, to;
    if (!ClientOrigin(hWndFrom, &from) || !ClientOrigin(hWndTo, &to))
        return 0;
    if (!lpPoints && cPoints) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const LONG dx = from.x - to.x, dy = from.y - to.y;
    for (UINT i = 0; i < cPoints; ++i) {
        lpPoints[i].x += dx;
        lpPoints[i].y += dy;
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<int>(MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy)));
}

HWND WindowFromPoint(POINT Point) {
    std::lock_guard guard(TreeLock());
    return WindowAtLocked(TopLevelLocked(), Point, DisabledWindows::Found);
}

HWND ChildWindowFromPoint(HWND hWndParent, POINT Point) {
    std::lock_guard guard(TreeLock());
    Window* p = FindCheckedLocked(hWndParent);
    if (!p)
        return nullptr;
    RECT client = ClientScreenRectLocked(*p);
    POINT screen{Point.x + client.left, Point.y + client.top};
    RECT whole = WindowScreenRectLocked(*p);
    if (screen.x < whole.left || screen.x >= whole.right || screen.y < whole.top || screen.y >= whole.bottom)
        return nullptr;
    for (HWND h : p->children) {
        Window* c = FindLocked(h);
        RECT r = WindowScreenRectLocked(*c);
        if (screen.x >= r.left && screen.x < r.right && screen.y >= r.top && screen.y < r.bottom)
            return h;
    }
    return hWndParent;
}

HWND GetParent(HWND hWnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return nullptr;
    // A top-level window answers its owner, as on the device.
    return w->parent ? w->parent : w->owner;
}

HWND SetParent(HWND hWndChild, HWND hWndNewParent) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWndChild);
    if (!w)
        return nullptr;
    if (hWndNewParent && (!FindCheckedLocked(hWndNewParent) || hWndNewParent == hWndChild ||
                          IsDescendantLocked(hWndChild, hWndNewParent)))
        return nullptr;
    HWND old = w->parent;
    auto& siblings = SiblingsLocked(*w);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hWndChild), siblings.end());
    w->parent = hWndNewParent;
    if (hWndNewParent)
        w->style |= WS_CHILD;
    auto& now = SiblingsLocked(*w);
    now.insert(now.begin(), hWndChild);
    WakeOwnerLocked(*w);
    return old ? old : DesktopHandle();
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return nullptr;
    if (uCmd == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    if (uCmd == GW_OWNER)
        return w->owner;
    const auto& siblings = SiblingsLocked(*w);
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
    case GW_HWNDFIRST:
        return siblings.front();
    case GW_HWNDLAST:
        return siblings.back();
    case GW_HWNDNEXT:
        return it + 1 == siblings.end() ? nullptr : *(it + 1);
    case GW_HWNDPREV:
        return it == siblings.begin() ? nullptr : *(it - 1);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hDlg);
    if (!w)
        return nullptr;
    for (HWND h : w->children)
        if (FindLocked(h)->id == static_cast<UINT_PTR>(static_cast<UINT>(nIDDlgItem)))
            return h;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND hWnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    return w ? static_cast<int>(w->id) : 0;
}

BOOL EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> children;
    {
        std::lock_guard guard(TreeLock());
        if (!hWndParent || IsDesktop(hWndParent)) {
            children = TopLevelLocked();
        } else {
            Window* w = FindCheckedLocked(hWndParent);
            if (!w)
                return FALSE;
            children = w->children;
        }
    }
    EnumTree(children, lpEnumFunc, lParam, true);
    return TRUE;
}

BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (!lpEnumFunc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> top;
    {
        std::lock_guard guard(TreeLock());
        top = TopLevelLocked();
    }
    EnumTree(top, lpEnumFunc, lParam, false);
    return TRUE;
}

HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    {
        std::lock_guard guard(TreeLock());
        for (HWND h : TopLevelLocked()) {
            Window* w = FindLocked(h);
            if (w->destroying)
                continue;
            bool classOk = !lpClassName || (IsAtomName(lpClassName)
                                                ? w->cls->atom == reinterpret_cast<uintptr_t>(lpClassName)
                                                : SameName(w->cls->name, lpClassName));
            if (classOk && (!lpWindowName || w->text == lpWindowName))
                return h;
        }
    }
    if (lpClassName && IsAtomName(lpClassName)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HWND found = FindAnnouncedWindow(lpClassName, lpWindowName);
    if (!found)
        SetLastError(ERROR_FILE_NOT_FOUND);
    return found;
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (IsForeignHandle(hWnd)) {
        if (!IsWindow(hWnd)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (lpdwProcessId)
            *lpdwProcessId = ProcessOfHandle(hWnd);
        return 0;
    }
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return 0;
    if (lpdwProcessId)
        *lpdwProcessId = GetCurrentProcessId();
    return w->threadId;
}
