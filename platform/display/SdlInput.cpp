#include "SdlInput.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "internal.h"
#include "kernel/internal.h"
#include "user/Input.h"
#include "winuser.h"

namespace orvi::display {

UINT VirtualKeyFromSdl(SDL_Keycode key, Uint16 modifiers) {
    switch (key) {
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_F1: return VK_F1;
    case SDLK_F2: return VK_F2;
    case SDLK_BACKSPACE: return VK_BACK;
    // Held Shift makes TranslateMessage produce capital letters.
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_KP_0: return '0';
    default: break;
    }
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return static_cast<UINT>('1' + (key - SDLK_KP_1));
    if (key >= SDLK_a && key <= SDLK_z)
        return static_cast<UINT>('A' + (key - SDLK_a));
    // Shift+1 means '!': the text event brings it, the digit key must not.
    if (key >= SDLK_0 && key <= SDLK_9 && !(modifiers & (KMOD_SHIFT | KMOD_MODE)))
        return static_cast<UINT>('0' + (key - SDLK_0));
    return 0;
}

bool CharComesFromKey(char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9');
}

void SdlInput::Handle(const SDL_Event& event) {
    switch (event.type) {
    case SDL_MOUSEBUTTONDOWN: OnButton(event.button, true); break;
    case SDL_MOUSEBUTTONUP: OnButton(event.button, false); break;
    case SDL_MOUSEMOTION: OnMotion(event.motion); break;
    case SDL_KEYDOWN: OnKey(event.key, true); break;
    case SDL_KEYUP: OnKey(event.key, false); break;
    case SDL_TEXTINPUT: OnText(event.text.text); break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            OnClose();
        break;
    default: break;
    }
}

POINT SdlInput::ToScreen(int x, int y) const {
    // Clamped: with the button held SDL keeps reporting outside the window.
    return {std::clamp(x / m_scale, 0, Geometry().width - 1),
            std::clamp(y / m_scale, 0, Geometry().height - 1)};
}

void SdlInput::OnButton(const SDL_MouseButtonEvent& button, bool down) {
    if (button.button != SDL_BUTTON_LEFT)
        return;
    if (down == m_stylusDown)
        return;
    m_stylusDown = down;
    user::InjectMouse(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, ToScreen(button.x, button.y));
}

void SdlInput::OnMotion(const SDL_MouseMotionEvent& motion) {
    // A stylus is only seen while it touches the screen.
    if (m_stylusDown)
        user::InjectMouse(WM_MOUSEMOVE, ToScreen(motion.x, motion.y));
}

void SdlInput::OnKey(const SDL_KeyboardEvent& key, bool down) {
    if (UINT vk = VirtualKeyFromSdl(key.keysym.sym, key.keysym.mod))
        user::InjectKey(vk, down);
}

void SdlInput::OnText(const char* utf8) {
    for (char16_t ch : kernel::Utf8ToUtf16(utf8))
        if (!CharComesFromKey(ch))
            user::InjectChar(ch);
}

// Closing the desktop window is the user asking the program to close: its
// foreground window gets WM_CLOSE and ends the program its own way. With no
// window to ask, the process ends at once; the platform writes every file
// and registry hive atomically as it goes, so nothing is half-written.
void SdlInput::OnClose() {
    if (HWND foreground = GetForegroundWindow()) {
        PostMessageW(foreground, WM_CLOSE, 0, 0);
        return;
    }
    kernel::Trace("display: host window closed with no foreground window; exiting");
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace orvi::display
