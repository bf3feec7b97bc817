// The default handling of window messages.
#include <algorithm>

#include "display/Display.h"
#include "internal.h"

using namespace orvi::user;

namespace {

LRESULT OnClose(HWND hwnd) {
    DestroyWindow(hwnd);
    return 0;
}

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    if (BeginPaint(hwnd, &ps))
        EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnSetText(HWND hwnd, LPCWSTR text) {
    std::u16string cls, title;
    bool announce = false, caption = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return FALSE;
        w->text = text ? text : u"";
        announce = !w->parent && w->created;
        caption = InputLocked().foreground == hwnd;
        cls = w->cls->name;
        title = w->text;
    }
    if (announce)
        AnnounceWindow(hwnd, cls, title);
    if (caption)
        orvi::display::NavBarChanged();
    return TRUE;
}

LRESULT OnGetText(HWND hwnd, WPARAM size, LPWSTR buffer) {
    if (!buffer || size == 0)
        return 0;
    std::lock_guard guard(TreeLock());
    Window* w = FindLocked(hwnd);
    if (!w)
        return 0;
    size_t n = std::min(w->text.size(), static_cast<size_t>(size - 1));
    std::copy_n(w->text.begin(), n, buffer);
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

LRESULT OnGetTextLength(HWND hwnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindLocked(hwnd);
    return w ? static_cast<LRESULT>(w->text.size()) : 0;
}

// WM_MOVE and WM_SIZE follow a position change, as the device sends them.
LRESULT OnWindowPosChanged(HWND hwnd, const WINDOWPOS* pos) {
    if (!pos)
        return 0;
    RECT client{}, screen{}, parentClient{};
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return 0;
        client = ClientRectLocked(*w);
        screen = ClientScreenRectLocked(*w);
        if (Window* p = w->parent ? FindLocked(w->parent) : nullptr)
            parentClient = ClientScreenRectLocked(*p);
    }
    if (!(pos->flags & SWP_NOMOVE))
        SendMessageW(hwnd, WM_MOVE, 0,
                     MAKELPARAM(screen.left - parentClient.left, screen.top - parentClient.top));
    if (!(pos->flags & SWP_NOSIZE))
        SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return 0;
}

// An activated window takes the focus unless one of its own has it.
LRESULT OnActivate(HWND hwnd, WPARAM state) {
    if (LOWORD(state) == WA_INACTIVE)
        return 0;
    HWND focus = GetFocus();
    if (focus != hwnd && !IsChild(hwnd, focus))
        SetFocus(hwnd);
    return 0;
}

}  // namespace

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        return OnClose(hWnd);
    case WM_PAINT:
        return OnPaint(hWnd);
    case WM_ERASEBKGND:
        return DefEraseBackground(hWnd, reinterpret_cast<HDC>(wParam));
    case WM_SETTEXT:
        return OnSetText(hWnd, reinterpret_cast<LPCWSTR>(lParam));
    case WM_GETTEXT:
        return OnGetText(hWnd, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH:
        return OnGetTextLength(hWnd);
    case WM_WINDOWPOSCHANGED:
        return OnWindowPosChanged(hWnd, reinterpret_cast<const WINDOWPOS*>(lParam));
    case WM_ACTIVATE:
        return OnActivate(hWnd, wParam);
    default:
        return 0;
    }
}
