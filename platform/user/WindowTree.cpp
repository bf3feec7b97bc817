// The process's window tree: handles, parent/child links, z-order and
// geometry. Everything here runs under TreeLock.
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "internal.h"

namespace orvi::user {
namespace {

struct Tree {
    std::mutex lock;
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::vector<HWND> topLevel;
    uint32_t nextIndex = 1;
};

Tree& TheTree() {
    static auto* tree = new Tree;  // used by threads that may outlive main
    return *tree;
}

DWORD ThisProcess() {
    static const DWORD pid = static_cast<DWORD>(getpid());
    return pid;
}

int BorderOf(const Window& w) { return (w.style & WS_BORDER) ? 1 : 0; }

}  // namespace

std::mutex& TreeLock() { return TheTree().lock; }

Window* FindLocked(HWND hwnd) {
    auto& windows = TheTree().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

Window* FindCheckedLocked(HWND hwnd) {
    Window* w = FindLocked(hwnd);
    if (!w)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::vector<HWND>& TopLevelLocked() { return TheTree().topLevel; }

std::vector<HWND>& SiblingsLocked(const Window& w) {
    if (w.parent)
        if (Window* p = FindLocked(w.parent))
            return p->children;
    return TheTree().topLevel;
}

HWND NewHandleLocked() {
    // The process id in the high half makes handles unique across the
    // device; the low half is even.
    uint64_t value = (static_cast<uint64_t>(ThisProcess()) << 32) |
                     (static_cast<uint64_t>(TheTree().nextIndex++) << 1);
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

Window* InsertLocked(std::unique_ptr<Window> w) {
    Window* raw = w.get();
    TheTree().windows[w->hwnd] = std::move(w);
    auto& siblings = SiblingsLocked(*raw);
    siblings.insert(siblings.begin(), raw->hwnd);
    ZOrderLocked(*raw, HWND_TOP);
    return raw;
}

void RemoveLocked(HWND hwnd) {
    Window* w = FindLocked(hwnd);
    if (!w)
        return;
    auto& siblings = SiblingsLocked(*w);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
    if (w->cls)
        --w->cls->windowCount;
    TheTree().windows.erase(hwnd);
}

std::vector<HWND> AllWindowsLocked() {
    std::vector<HWND> all;
    for (auto& [hwnd, w] : TheTree().windows)
        all.push_back(hwnd);
    return all;
}

DWORD ProcessOfHandle(HWND hwnd) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(hwnd) >> 32);
}

bool IsForeignHandle(HWND hwnd) {
    DWORD pid = ProcessOfHandle(hwnd);
    return pid != 0 && pid != ThisProcess();
}

HWND DesktopHandle() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10)); }

bool IsShownLocked(const Window& w) {
    for (const Window* p = &w; p; p = p->parent ? FindLocked(p->parent) : nullptr)
        if (!(p->style & WS_VISIBLE))
            return false;
    return true;
}

HWND TopLevelOfLocked(HWND hwnd) {
    Window* w = FindLocked(hwnd);
    while (w && w->parent)
        w = FindLocked(w->parent);
    return w ? w->hwnd : nullptr;
}

bool IsDescendantLocked(HWND ancestor, HWND hwnd) {
    for (Window* w = FindLocked(hwnd); w && w->parent; w = FindLocked(w->parent))
        if (w->parent == ancestor)
            return true;
    return false;
}

RECT WindowScreenRectLocked(const Window& w) {
    RECT r = w.rect;
    if (w.parent)
        if (Window* p = FindLocked(w.parent)) {
            RECT pc = ClientScreenRectLocked(*p);
            r.left += pc.left;
            r.right += pc.left;
            r.top += pc.top;
            r.bottom += pc.top;
        }
    return r;
}

RECT ClientScreenRectLocked(const Window& w) {
    RECT r = WindowScreenRectLocked(w);
    int b = BorderOf(w);
    r.left += b;
    r.top += b;
    r.right = std::max(r.left, r.right - b);
    r.bottom = std::max(r.top, r.bottom - b);
    return r;
}

RECT ClientRectLocked(const Window& w) {
    RECT r = ClientScreenRectLocked(w);
    return RECT{0, 0, r.right - r.left, r.bottom - r.top};
}

void ZOrderLocked(Window& w, HWND insertAfter) {
    auto& siblings = SiblingsLocked(w);
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w.hwnd), siblings.end());
    if (insertAfter == HWND_TOPMOST)
        w.exStyle |= WS_EX_TOPMOST;
    else if (insertAfter == HWND_NOTOPMOST)
        w.exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    const bool topmost = !w.parent && (w.exStyle & WS_EX_TOPMOST);
    // Top-level windows keep the topmost ones above the rest.
    auto isTopmost = [](HWND h) {
        Window* s = FindLocked(h);
        return s && !s->parent && (s->exStyle & WS_EX_TOPMOST);
    };
    auto bandBegin = siblings.begin();
    auto bandEnd = siblings.end();
    if (!w.parent) {
        auto firstNormal = std::find_if_not(siblings.begin(), siblings.end(), isTopmost);
        if (topmost)
            bandEnd = firstNormal;
        else
            bandBegin = firstNormal;
    }
    auto pos = bandBegin;
    if (insertAfter == HWND_BOTTOM) {
        pos = bandEnd;
    } else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST) {
        auto after = std::find(bandBegin, bandEnd, insertAfter);
        if (after != bandEnd)
            pos = after + 1;
    }
    siblings.insert(pos, w.hwnd);
}

HWND WindowAtLocked(const std::vector<HWND>& list, POINT pt, DisabledWindows disabled) {
    for (HWND h : list) {
        Window* w = FindLocked(h);
        if (!w || !(w->style & WS_VISIBLE))
            continue;
        RECT r = WindowScreenRectLocked(*w);
        if (pt.x < r.left || pt.x >= r.right || pt.y < r.top || pt.y >= r.bottom)
            continue;
        if (disabled == DisabledWindows::Block && (w->style & WS_DISABLED))
            return nullptr;
        HWND child = WindowAtLocked(w->children, pt, disabled);
        return child ? child : h;
    }
    return nullptr;
}

}  // namespace orvi::user
