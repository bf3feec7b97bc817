// Focus, activation, foreground and capture. They are process-wide, as on
// the device, and change with messages to the windows involved: the old
// window hears about the change before the new one.
#include "display/Display.h"
#include "internal.h"

namespace orvi::user {
namespace {

bool WithinLocked(HWND ancestor, HWND hwnd) {
    return hwnd && (hwnd == ancestor || IsDescendantLocked(ancestor, hwnd));
}

// The next visible top-level window to activate when `leaving` goes.
HWND NextActiveLocked(HWND leaving) {
    for (HWND h : TopLevelLocked()) {
        Window* w = FindLocked(h);
        if (h != leaving && !w->destroying && IsShownLocked(*w) && !(w->style & WS_DISABLED))
            return h;
    }
    return nullptr;
}

}  // namespace

InputState& InputLocked() {
    static InputState state;
    return state;
}

HWND SetFocusInternal(HWND hwnd) {
    HWND previous = nullptr;
    HWND top = nullptr;
    {
        std::lock_guard guard(TreeLock());
        previous = InputLocked().focus;
        if (hwnd) {
            if (!FindCheckedLocked(hwnd))
                return nullptr;
            top = TopLevelOfLocked(hwnd);
        }
        if (previous == hwnd)
            return previous;
    }
    if (top && GetActiveWindow() != top)
        SetActiveInternal(top);
    HWND old = nullptr;
    {
        std::lock_guard guard(TreeLock());
        old = InputLocked().focus;
        if (old == hwnd || (hwnd && !FindLocked(hwnd)))
            return previous;
        InputLocked().focus = hwnd;
    }
    if (old && IsWindow(old))
        SendOwner(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && IsWindow(hwnd))
        SendOwner(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return previous;
}

HWND SetActiveInternal(HWND hwnd) {
    HWND old = nullptr;
    bool focusInOld = false;
    {
        std::lock_guard guard(TreeLock());
        if (hwnd) {
            if (!FindCheckedLocked(hwnd))
                return nullptr;
            hwnd = TopLevelOfLocked(hwnd);
        }
        old = InputLocked().active;
        if (old == hwnd)
            return old;
        InputLocked().active = hwnd;
        focusInOld = old && WithinLocked(old, InputLocked().focus);
    }
    if (old && IsWindow(old)) {
        SendOwner(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hwnd));
        if (focusInOld)
            SetFocusInternal(nullptr);
    }
    if (hwnd)
        SendOwner(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(old));
    return old;
}

bool SetForegroundInternal(HWND hwnd) {
    HWND top = nullptr;
    bool changed = false;
    {
        std::lock_guard guard(TreeLock());
        if (!FindCheckedLocked(hwnd))
            return false;
        top = TopLevelOfLocked(hwnd);
        changed = InputLocked().foreground != top;
        InputLocked().foreground = top;
    }
    SetWindowPosInternal(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetActiveInternal(top);
    if (changed)
        display::NavBarChanged();
    return true;
}

HWND SetCaptureInternal(HWND hwnd) {
    HWND old = nullptr;
    {
        std::lock_guard guard(TreeLock());
        if (hwnd && !FindCheckedLocked(hwnd))
            return nullptr;
        old = InputLocked().capture;
        InputLocked().capture = hwnd;
    }
    if (old && old != hwnd && IsWindow(old))
        SendOwner(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

void ReleaseCaptureInternal() { SetCaptureInternal(nullptr); }

void LoseInputState(HWND hwnd) {
    bool focusIn = false, active = false, foreground = false;
    HWND next = nullptr;
    {
        std::lock_guard guard(TreeLock());
        InputState& in = InputLocked();
        if (WithinLocked(hwnd, in.capture))
            in.capture = nullptr;
        focusIn = WithinLocked(hwnd, in.focus);
        active = in.active == hwnd;
        foreground = in.foreground == hwnd;
        next = NextActiveLocked(hwnd);
        if (foreground)
            in.foreground = next;
    }
    if (focusIn)
        SetFocusInternal(nullptr);
    if (active)
        SetActiveInternal(next);
    if (foreground)
        display::NavBarChanged();
}

}  // namespace orvi::user
