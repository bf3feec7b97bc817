// API entry points: sending, posting, dispatching and translating messages,
// timers, focus, activation and capture.
#include "internal.h"

using namespace orvi::user;

namespace {

HWND StripForegroundFlag(HWND hwnd) {
    return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) & ~static_cast<uintptr_t>(1));
}

std::vector<HWND> LocalTopLevel() {
    std::lock_guard guard(TreeLock());
    return TopLevelLocked();
}

bool Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT flags, DWORD timeoutMs, LRESULT* result) {
    if (IsForeignHandle(hwnd))
        return RemoteCall(RemoteOp::Send, hwnd, msg, wParam, lParam, timeoutMs, result);
    SendMode mode = (flags & SMTO_BLOCK) ? SendMode::Block : SendMode::Normal;
    return SendLocal(hwnd, msg, wParam, lParam, mode, timeoutMs, (flags & SMTO_ABORTIFHUNG) != 0, false,
                     result);
}

WCHAR CharOfKey(WPARAM vk) {
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<WCHAR>(KeyDown(VK_SHIFT) ? vk : vk + ('a' - 'A'));
    if (vk >= '0' && vk <= '9')
        return static_cast<WCHAR>(vk);
    switch (vk) {
    case VK_SPACE:
        return u' ';
    case VK_RETURN:
        return u'\r';
    case VK_ESCAPE:
        return 0x1B;
    case VK_BACK:
        return 0x08;
    case VK_TAB:
        return u'\t';
    default:
        return 0;
    }
}

}  // namespace

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : LocalTopLevel())
            Send(h, Msg, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
        return 0;
    }
    Send(hWnd, Msg, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
    return result;
}

LRESULT SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags, UINT uTimeout,
                            DWORD_PTR* lpdwResult) {
    LRESULT result = 0;
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : LocalTopLevel())
            Send(h, Msg, wParam, lParam, fuFlags, uTimeout, &result);
        return TRUE;
    }
    DWORD timeout = (fuFlags & SMTO_NOTIMEOUTIFNOTHUNG) ? INFINITE : uTimeout;
    if (!Send(hWnd, Msg, wParam, lParam, fuFlags, timeout, &result))
        return 0;
    if (lpdwResult)
        *lpdwResult = static_cast<DWORD_PTR>(result);
    return TRUE;
}

BOOL SendNotifyMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (IsForeignHandle(hWnd))
        return RemoteCall(RemoteOp::Post, hWnd, Msg, wParam, lParam, 0, &result) ? TRUE : FALSE;
    return SendLocal(hWnd, Msg, wParam, lParam, SendMode::Notify, 0, false, false, &result) ? TRUE : FALSE;
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!hWnd)
        return PostThreadMessageW(GetCurrentThreadId(), Msg, wParam, lParam);
    LRESULT ignored = 0;
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : LocalTopLevel())
            PostLocal(h, Msg, wParam, lParam);
        for (HWND h : AnnouncedWindowsOfOthers())
            RemoteCall(RemoteOp::Post, h, Msg, wParam, lParam, 0, &ignored);
        return TRUE;
    }
    if (IsForeignHandle(hWnd))
        return RemoteCall(RemoteOp::Post, hWnd, Msg, wParam, lParam, 0, &ignored) ? TRUE : FALSE;
    return PostLocal(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

BOOL InSendMessage() {
    DWORD flags = CurrentSendFlags();
    return (flags & (ISMEX_SEND | ISMEX_NOTIFY)) && !(flags & ISMEX_REPLIED) ? TRUE : FALSE;
}

DWORD InSendMessageEx(LPVOID) { return CurrentSendFlags(); }

BOOL ReplyMessage(LRESULT lResult) { return ReplyToCurrent(lResult) ? TRUE : FALSE; }

LRESULT DispatchMessageW(const MSG* lpMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        // Only a procedure this thread really set as a timer is called.
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (IsLiveTimerProc(lpMsg->hwnd, lpMsg->wParam, proc))
            proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg->hwnd)
        return 0;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(lpMsg->hwnd);
        if (!w)
            return 0;
        if (w->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return 0;
        }
    }
    return CallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN)
        return FALSE;
    WCHAR ch = CharOfKey(lpMsg->wParam);
    if (!ch)
        return FALSE;
    if (lpMsg->hwnd)
        return PostMessageW(lpMsg->hwnd, WM_CHAR, ch, lpMsg->lParam);
    return PostThreadMessageW(GetCurrentThreadId(), WM_CHAR, ch, lpMsg->lParam);
}

UINT RegisterWindowMessageW(LPCWSTR lpString) {
    if (!lpString || !*lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // FNV-1a over the case-folded name: the same number in every process
    // without any shared table.
    uint32_t hash = 2166136261u;
    for (const WCHAR* p = lpString; *p; ++p) {
        WCHAR c = (*p >= u'A' && *p <= u'Z') ? static_cast<WCHAR>(*p + 32) : *p;
        hash = (hash ^ c) * 16777619u;
    }
    return 0xC000 + hash % 0x4000;
}

LONG GetMessageTime() { return static_cast<LONG>(GetTickCount()); }

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (IsForeignHandle(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return SetTimerInternal(hWnd, nIDEvent, uElapse, lpTimerFunc);
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) { return KillTimerInternal(hWnd, uIDEvent) ? TRUE : FALSE; }

HWND SetFocus(HWND hWnd) {
    if (IsForeignHandle(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return SetFocusInternal(hWnd);
}

HWND GetFocus() {
    std::lock_guard guard(TreeLock());
    return InputLocked().focus;
}

HWND SetActiveWindow(HWND hWnd) {
    if (!hWnd || IsForeignHandle(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return SetActiveInternal(hWnd);
}

HWND GetActiveWindow() {
    std::lock_guard guard(TreeLock());
    return InputLocked().active;
}

BOOL SetForegroundWindow(HWND hWnd) {
    HWND target = StripForegroundFlag(hWnd);
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (IsForeignHandle(target)) {
        LRESULT ignored = 0;
        return RemoteCall(RemoteOp::Foreground, target, 0, 0, 0, 5000, &ignored) ? TRUE : FALSE;
    }
    return SetForegroundInternal(target) ? TRUE : FALSE;
}

HWND GetForegroundWindow() {
    std::lock_guard guard(TreeLock());
    return InputLocked().foreground;
}

HWND SetCapture(HWND hWnd) {
    if (!hWnd || IsForeignHandle(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return SetCaptureInternal(hWnd);
}

BOOL ReleaseCapture() {
    ReleaseCaptureInternal();
    return TRUE;
}

HWND GetCapture() {
    std::lock_guard guard(TreeLock());
    return InputLocked().capture;
}
