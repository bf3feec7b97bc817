// Turns SDL input events of the host window into device input: the mouse is
// the stylus, keys map to the device's keys (arrows, Enter, digits, Back,
// soft keys, letters, Backspace). Display thread only.
//
// Characters: a key press that maps to a virtual key becomes WM_CHAR through
// TranslateMessage in the program's own loop, so SDL text events must not
// inject those characters again. Letters and unshifted digits therefore
// travel only as keys (Shift travels too, so TranslateMessage can make
// capitals); text events supply every other character (space, punctuation,
// non-ASCII text from an input method). A digit pressed with Shift or AltGr
// is not sent as a key, since the text event carries the symbol meant.
#pragma once

#include <SDL.h>

#include "wintypes.h"

namespace orvi::display {

class SdlInput {
public:
    explicit SdlInput(int scale) : m_scale(scale) {}

    void Handle(const SDL_Event& event);

private:
    void OnButton(const SDL_MouseButtonEvent& button, bool down);
    void OnMotion(const SDL_MouseMotionEvent& motion);
    void OnKey(const SDL_KeyboardEvent& key, bool down);
    void OnText(const char* utf8);
    void OnClose();
    POINT ToScreen(int x, int y) const;

    const int m_scale;
    bool m_stylusDown = false;
};

// The device's virtual key for a host key, 0 when the device has none (or
// the key's character comes through text input instead).
UINT VirtualKeyFromSdl(SDL_Keycode key, Uint16 modifiers);
// True when a typed character also arrives as a mapped key press.
bool CharComesFromKey(char16_t ch);

}  // namespace orvi::display
