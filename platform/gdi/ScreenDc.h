// Device contexts that draw on the screen, made by the window system for
// GetDC, GetWindowDC and BeginPaint.
//
// A screen DC draws into display::ScreenPixels() under display::ScreenLock()
// and marks what it touched dirty. Its logical (0,0) is `origin` in screen
// coordinates and it draws only inside `visible` (screen coordinates,
// non-overlapping rectangles): the window system has already removed the
// navigation bar, covering windows, and clipped children and siblings.
#pragma once

#include <vector>

#include "wintypes.h"

namespace orvi::gdi {

HDC CreateScreenDc(POINT origin, std::vector<RECT> visible);
// Replaces the visible rectangles (BeginPaint narrows them to the update
// area). Returns false for a handle that is not a screen DC.
bool SetScreenDcVisible(HDC hdc, std::vector<RECT> visible);
// Frees the DC and its selections; false for a handle that is not a screen DC.
bool DeleteScreenDc(HDC hdc);

}  // namespace orvi::gdi
