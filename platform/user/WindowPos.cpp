// Moving, sizing, stacking, showing and hiding windows. Whatever a change
// uncovers is invalidated with erase; the window itself is redrawn whole.
#include "display/Display.h"
#include "internal.h"

namespace orvi::user {
namespace {

struct PosChange {
    RECT oldScreen{};
    bool wasShown = false;
    bool nowShown = false;
    bool changed = false;
    bool topLevel = false;
    WINDOWPOS pos{};
};

bool ApplyLocked(Window& w, HWND insertAfter, int x, int y, int cx, int cy, UINT flags, PosChange* c) {
    c->oldScreen = WindowScreenRectLocked(w);
    c->wasShown = IsShownLocked(w);
    c->topLevel = !w.parent;
    RECT r = w.rect;
    if (!(flags & SWP_NOMOVE)) {
        r = RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + std::max(cx, 0);
        r.bottom = r.top + std::max(cy, 0);
    }
    const bool moved = r.left != w.rect.left || r.top != w.rect.top || r.right != w.rect.right ||
                       r.bottom != w.rect.bottom;
    w.rect = r;
    bool restacked = false;
    if (!(flags & SWP_NOZORDER)) {
        auto& siblings = SiblingsLocked(w);
        auto before = siblings;
        ZOrderLocked(w, insertAfter);
        restacked = before != siblings;
    }
    if (flags & SWP_SHOWWINDOW)
        w.style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW)
        w.style &= ~static_cast<DWORD>(WS_VISIBLE);
    c->nowShown = IsShownLocked(w);
    c->changed = moved || restacked || c->wasShown != c->nowShown;
    c->pos = WINDOWPOS{w.hwnd, insertAfter, r.left, r.top, r.right - r.left, r.bottom - r.top, flags};
    return true;
}

bool IsStackingConstant(HWND h) {
    return h == HWND_TOP || h == HWND_BOTTOM || h == HWND_TOPMOST || h == HWND_NOTOPMOST;
}

void InvalidateWholeLocked(Window& w) {
    InvalidateLocked(w, nullptr, true);
    for (HWND child : w.children)
        if (Window* c = FindLocked(child))
            InvalidateWholeLocked(*c);
}

}  // namespace

bool SetWindowPosInternal(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    PosChange c;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return false;
        if (!(flags & SWP_NOZORDER) && !IsStackingConstant(insertAfter) && !FindCheckedLocked(insertAfter))
            return false;
        ApplyLocked(*w, insertAfter, x, y, cx, cy, flags, &c);
        if (c.nowShown && c.changed && !(flags & SWP_NOREDRAW))
            InvalidateWholeLocked(*w);
    }
    SendOwner(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&c.pos));
    if (c.wasShown && c.changed && !(flags & SWP_NOREDRAW))
        ExposeScreenArea(c.oldScreen, hwnd);
    if (c.wasShown && !c.nowShown)
        LoseInputState(hwnd);
    else if (c.topLevel && c.nowShown && !(flags & SWP_NOACTIVATE))
        SetActiveInternal(hwnd);
    return true;
}

bool ShowWindowInternal(HWND hwnd, int cmd) {
    bool wasVisible = false, topLevel = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return false;
        wasVisible = (w->style & WS_VISIBLE) != 0;
        topLevel = !w->parent;
    }
    const bool show = cmd != SW_HIDE && cmd != SW_MINIMIZE && cmd != SW_SHOWMINIMIZED &&
                      cmd != SW_SHOWMINNOACTIVE;
    const bool activate = show && topLevel && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE;
    UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    RECT work{};
    if (cmd == SW_SHOWMAXIMIZED && topLevel) {
        work = display::WorkArea();
        flags &= ~static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE);
    }
    if (show != wasVisible) {
        SendOwner(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        flags |= show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
    }
    if ((flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) || !(flags & SWP_NOSIZE))
        SetWindowPosInternal(hwnd, HWND_TOP, work.left, work.top, work.right - work.left,
                             work.bottom - work.top, flags);
    if (activate && IsWindow(hwnd))
        SetForegroundInternal(hwnd);
    return wasVisible;
}

}  // namespace orvi::user
