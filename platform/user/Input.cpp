// Stylus and key input from the display, and the key state it leaves.
#include <atomic>

#include "internal.h"
#include "user/Input.h"

namespace orvi::user {
namespace {

std::atomic<uint8_t> g_keys[256];
std::atomic<bool> g_stylusDown{false};
std::atomic<DWORD> g_lastStylusPos{0};

// x in the low word, y in the high word, as mouse messages carry them.
DWORD PackPoint(POINT pt) {
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(static_cast<short>(pt.x)),
                                       static_cast<WORD>(static_cast<short>(pt.y))));
}

HWND KeyTarget() {
    std::lock_guard guard(TreeLock());
    const InputState& in = InputLocked();
    return in.focus ? in.focus : in.active;
}

}  // namespace

void NoteKey(UINT vk, bool down) { g_keys[vk & 0xFF].store(down ? 1 : 0, std::memory_order_relaxed); }

bool KeyDown(UINT vk) { return g_keys[vk & 0xFF].load(std::memory_order_relaxed) != 0; }

void InjectMouse(UINT message, POINT screenPoint) {
    if (message == WM_LBUTTONDOWN)
        g_stylusDown = true;
    else if (message == WM_LBUTTONUP)
        g_stylusDown = false;
    NoteKey(VK_LBUTTON, g_stylusDown);
    g_lastStylusPos = PackPoint(screenPoint);
    HWND target = nullptr;
    POINT client{};
    {
        std::lock_guard guard(TreeLock());
        HWND capture = InputLocked().capture;
        target = capture && FindLocked(capture) ? capture : WindowAtLocked(TopLevelLocked(), screenPoint, DisabledWindows::Block);
        if (!target)
            return;
        RECT origin = ClientScreenRectLocked(*FindLocked(target));
        client = POINT{screenPoint.x - origin.left, screenPoint.y - origin.top};
    }
    WPARAM keys = (message == WM_LBUTTONDOWN || (message == WM_MOUSEMOVE && g_stylusDown)) ? MK_LBUTTON : 0;
    PostLocal(target, message, keys, static_cast<LPARAM>(PackPoint(client)));
}

void InjectKey(UINT virtualKey, bool down) {
    NoteKey(virtualKey, down);
    HWND target = KeyTarget();
    if (!target)
        return;
    // Repeat count 1; a release also carries the previous-state and
    // transition bits.
    LPARAM flags = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    PostLocal(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, flags);
}

void InjectChar(WCHAR ch) {
    HWND target = KeyTarget();
    if (target)
        PostLocal(target, WM_CHAR, ch, 1);
}

bool AllWindowThreadsIdle() { return AllThreadsIdle(); }

std::u16string ForegroundCaption() {
    std::lock_guard guard(TreeLock());
    HWND fg = InputLocked().foreground;
    Window* w = fg ? FindLocked(fg) : nullptr;
    return w ? w->text : std::u16string();
}

}  // namespace orvi::user

DWORD GetMessagePos() { return orvi::user::g_lastStylusPos.load(); }

short GetKeyState(int nVirtKey) {
    return orvi::user::KeyDown(static_cast<UINT>(nVirtKey)) ? static_cast<short>(0x8000) : 0;
}

short GetAsyncKeyState(int vKey) { return GetKeyState(vKey); }
