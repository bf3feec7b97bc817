// API entry points: invalidation, painting and window DCs.
#include "display/Display.h"
#include "gdi/ScreenDc.h"
#include "internal.h"

using namespace orvi::user;

namespace {

// A DC for the window's client area (or whole window), clipped to what of
// it is visible; null with the last error set for an unknown window.
HDC MakeWindowDc(HWND hwnd, bool client) {
    POINT origin{0, 0};
    std::vector<RECT> visible;
    if (!hwnd || hwnd == DesktopHandle()) {
        const auto& g = orvi::display::Geometry();
        Region screen(RECT{0, 0, g.width, g.height});
        screen.Subtract(orvi::display::NavBarRect());
        visible = screen.Rects();
    } else {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return nullptr;
        RECT r = client ? ClientScreenRectLocked(*w) : WindowScreenRectLocked(*w);
        origin = POINT{r.left, r.top};
        visible = VisibleRegionLocked(*w, client).Rects();
    }
    return orvi::gdi::CreateScreenDc(origin, std::move(visible));
}

}  // namespace

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    std::lock_guard guard(TreeLock());
    if (!hWnd) {
        for (HWND h : AllWindowsLocked())
            InvalidateLocked(*FindLocked(h), nullptr, bErase != FALSE);
        return TRUE;
    }
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return FALSE;
    InvalidateLocked(*w, lpRect, bErase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hWnd, const RECT* lpRect) {
    std::lock_guard guard(TreeLock());
    Window* w = FindCheckedLocked(hWnd);
    if (!w)
        return FALSE;
    ValidateLocked(*w, lpRect);
    return TRUE;
}

BOOL GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
    bool erase = false;
    BOOL any = FALSE;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hWnd);
        if (!w)
            return FALSE;
        if (lpRect)
            *lpRect = w->update.Bounds();
        any = w->update.Empty() ? FALSE : TRUE;
        erase = any && bErase && w->erasePending;
    }
    if (erase) {
        HDC hdc = GetDC(hWnd);
        LRESULT erased = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
        ReleaseDC(hWnd, hdc);
        std::lock_guard guard(TreeLock());
        if (Window* w = FindLocked(hWnd); w && erased)
            w->erasePending = false;
    }
    return any;
}

BOOL UpdateWindow(HWND hWnd) {
    bool paint = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hWnd);
        if (!w)
            return FALSE;
        paint = NeedsPaintLocked(*w);
    }
    if (paint)
        SendMessageW(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    POINT origin{};
    std::vector<RECT> visible;
    bool erase = false;
    RECT bounds{};
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hWnd);
        if (!w)
            return nullptr;
        RECT client = ClientScreenRectLocked(*w);
        origin = POINT{client.left, client.top};
        Region update = w->update;
        bounds = update.Bounds();
        update.Offset(client.left, client.top);
        Region vis = VisibleRegionLocked(*w, true);
        vis.Intersect(update);
        visible = vis.Rects();
        erase = w->erasePending;
        ValidateLocked(*w, nullptr);
    }
    HDC hdc = orvi::gdi::CreateScreenDc(origin, std::move(visible));
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = hdc;
    lpPaint->rcPaint = bounds;
    // fErase tells the painter that the background still has to be erased.
    lpPaint->fErase = erase && SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
    return hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return orvi::gdi::DeleteScreenDc(lpPaint->hdc) ? TRUE : FALSE;
}

HDC GetDC(HWND hWnd) { return MakeWindowDc(hWnd, true); }

HDC GetWindowDC(HWND hWnd) { return MakeWindowDc(hWnd, false); }

int ReleaseDC(HWND, HDC hDC) { return orvi::gdi::DeleteScreenDc(hDC) ? 1 : 0; }
