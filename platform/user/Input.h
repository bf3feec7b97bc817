// What the display hands to the window system: stylus and key input from
// the backend or the automation socket, and questions about the windows.
// Every function here may be called from the display's own threads.
#pragma once

#include <string>

#include "wintypes.h"

namespace orvi::user {

// Stylus input at a screen point: WM_LBUTTONDOWN, WM_LBUTTONUP or
// WM_MOUSEMOVE, queued as input to the thread of the capture window, else of
// the topmost visible enabled window under the point (client coordinates in
// lParam, MK_LBUTTON in wParam while the stylus is down). Nothing happens
// when no window is under the point.
void InjectMouse(UINT message, POINT screenPoint);
// A key press or release (virtual-key code) queued as input to the focus
// window's thread, else the active window's. TranslateMessage turns
// presses into WM_CHAR.
void InjectKey(UINT virtualKey, bool down);
// A typed character queued as WM_CHAR to the focus window (automation text).
void InjectChar(WCHAR ch);

// True when every thread that owns windows has nothing queued, no pending
// sent message, paint or due timer, and is parked waiting for its queue.
bool AllWindowThreadsIdle();
// The foreground window's caption for the navigation bar; empty when none.
std::u16string ForegroundCaption();

}  // namespace orvi::user
