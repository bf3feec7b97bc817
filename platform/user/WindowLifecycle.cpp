// Creating and destroying windows, with the messages the device sends on
// the way.
#include <algorithm>

#include "display/Display.h"
#include "internal.h"

namespace orvi::user {
namespace {

RECT InitialRect(const CREATESTRUCTW& cs, bool child) {
    int x = cs.x, y = cs.y, cx = cs.cx, cy = cs.cy;
    if (!child) {
        RECT work = display::WorkArea();
        if (x == CW_USEDEFAULT) {
            x = work.left;
            y = work.top;
        }
        if (cx == CW_USEDEFAULT) {
            cx = work.right - work.left;
            cy = work.bottom - work.top;
        }
    } else {
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (cx == CW_USEDEFAULT)
            cx = cy = 0;
    }
    return RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
}

// Builds the window and links it into the tree; null with the last error set.
HWND LinkNewWindow(const CREATESTRUCTW& cs, const std::shared_ptr<WindowClass>& cls) {
    const bool child = (cs.style & WS_CHILD) != 0;
    std::lock_guard guard(TreeLock());
    HWND parent = nullptr, owner = nullptr;
    if (cs.hwndParent) {
        if (!FindCheckedLocked(cs.hwndParent))
            return nullptr;
        if (child)
            parent = cs.hwndParent;
        else
            owner = TopLevelOfLocked(cs.hwndParent);
    } else if (child) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->hwnd = NewHandleLocked();
    w->cls = cls;
    w->threadId = GetCurrentThreadId();
    w->parent = parent;
    w->owner = owner;
    w->rect = InitialRect(cs, child);
    w->style = static_cast<DWORD>(cs.style) & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = cs.dwExStyle;
    w->proc = cls->info.lpfnWndProc;
    w->instance = cs.hInstance;
    w->id = child ? reinterpret_cast<UINT_PTR>(cs.hMenu) : 0;
    w->text = cs.lpszName ? cs.lpszName : u"";
    w->extra.assign(static_cast<size_t>(cls->info.cbWndExtra), 0);
    ++cls->windowCount;
    return InsertLocked(std::move(w))->hwnd;
}

void SendSizeAndMove(HWND hwnd) {
    RECT client{}, screen{}, parentClient{};
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return;
        client = ClientRectLocked(*w);
        screen = ClientScreenRectLocked(*w);
        if (Window* p = w->parent ? FindLocked(w->parent) : nullptr)
            parentClient = ClientScreenRectLocked(*p);
    }
    SendOwner(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    SendOwner(hwnd, WM_MOVE, 0, MAKELPARAM(screen.left - parentClient.left, screen.top - parentClient.top));
}

std::vector<HWND> ChildrenOf(HWND hwnd) {
    std::lock_guard guard(TreeLock());
    Window* w = FindLocked(hwnd);
    return w ? w->children : std::vector<HWND>{};
}

// WM_DESTROY goes to a window before its children.
void SendDestroy(HWND hwnd) {
    {
        std::lock_guard guard(TreeLock());
        if (Window* w = FindLocked(hwnd))
            w->destroying = true;
    }
    SendOwner(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : ChildrenOf(hwnd))
        SendDestroy(child);
}

// WM_NCDESTROY goes to the children first.
void SendNcDestroy(HWND hwnd) {
    for (HWND child : ChildrenOf(hwnd))
        SendNcDestroy(child);
    SendOwner(hwnd, WM_NCDESTROY, 0, 0);
}

void UnlinkTreeLocked(HWND hwnd) {
    Window* w = FindLocked(hwnd);
    if (!w)
        return;
    for (HWND child : std::vector<HWND>(w->children))
        UnlinkTreeLocked(child);
    KillWindowTimersLocked(hwnd);
    ForgetWindowLocked(hwnd);
    RemoveLocked(hwnd);
}

std::vector<HWND> OwnedWindows(HWND hwnd) {
    std::lock_guard guard(TreeLock());
    std::vector<HWND> owned;
    for (HWND h : TopLevelLocked())
        if (Window* w = FindLocked(h); w && w->owner == hwnd)
            owned.push_back(h);
    return owned;
}

}  // namespace

HWND CreateWindowInternal(const CREATESTRUCTW& csIn, const std::shared_ptr<WindowClass>& cls) {
    EnsureThreadState();
    HWND hwnd = LinkNewWindow(csIn, cls);
    if (!hwnd)
        return nullptr;
    const bool child = (csIn.style & WS_CHILD) != 0;
    if (!child)
        display::EnsureStarted();
    CREATESTRUCTW cs = csIn;
    if (CallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindowInternal(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return nullptr;
        w->created = true;
    }
    SendSizeAndMove(hwnd);
    if (!child) {
        std::u16string title;
        {
            std::lock_guard guard(TreeLock());
            if (Window* w = FindLocked(hwnd))
                title = w->text;
        }
        // Listen first: a process that finds the announcement may post at once.
        EnsureListener();
        AnnounceWindow(hwnd, cls->name, title);
    }
    if (csIn.style & WS_VISIBLE)
        ShowWindowInternal(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

bool DestroyWindowInternal(HWND hwnd) {
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return false;
        if (w->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (w->destroying)
            return true;
        w->destroying = true;
    }
    for (HWND owned : OwnedWindows(hwnd))
        DestroyWindowInternal(owned);
    LoseInputState(hwnd);
    RECT area{};
    bool shown = false, topLevel = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(hwnd);
        shown = IsShownLocked(*w);
        area = WindowScreenRectLocked(*w);
        topLevel = !w->parent;
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    SendDestroy(hwnd);
    SendNcDestroy(hwnd);
    {
        std::lock_guard guard(TreeLock());
        UnlinkTreeLocked(hwnd);
    }
    if (topLevel)
        WithdrawWindow(hwnd);
    if (shown)
        ExposeScreenArea(area, nullptr);
    return true;
}

void DropThreadWindows(DWORD threadId) {
    std::vector<std::pair<HWND, RECT>> gone;
    {
        std::lock_guard guard(TreeLock());
        for (HWND h : AllWindowsLocked()) {
            Window* w = FindLocked(h);
            if (w->threadId != threadId)
                continue;
            HWND top = w->parent ? nullptr : h;
            gone.push_back({top, IsShownLocked(*w) ? WindowScreenRectLocked(*w) : RECT{}});
        }
        for (HWND h : AllWindowsLocked())
            if (Window* w = FindLocked(h); w && w->threadId == threadId)
                UnlinkTreeLocked(h);
        InputState& in = InputLocked();
        for (HWND* slot : {&in.focus, &in.active, &in.foreground, &in.capture})
            if (*slot && !FindLocked(*slot))
                *slot = nullptr;
    }
    for (auto& [top, area] : gone) {
        if (top)
            WithdrawWindow(top);
        if (!Region::IsEmpty(area))
            ExposeScreenArea(area, nullptr);
    }
}

}  // namespace orvi::user
