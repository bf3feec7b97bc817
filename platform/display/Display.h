// The device screen as the rest of the platform sees it: one 32-bit
// framebuffer, the navigation bar at its top, and the presenter that shows
// changed areas through the chosen backend (sdl or headless).
//
// Pixels are 0x00RRGGBB, row-major, top-down, stride = width, exactly the
// layout of a top-down 32-bit DIB section, so GDI blits between the screen
// and bitmaps without conversion.
#pragma once

#include <mutex>

#include "wintypes.h"

namespace orvi::display {

struct ScreenGeometry {
    int width;
    int height;
    int dpi;
};

// Parsed once from $ORVI_SCREEN ("WxH@DPI"; default 240x320@96). A value
// that does not parse falls back to the default and is traced.
const ScreenGeometry& Geometry();
// Scales a length given at 96 dpi to the screen's dpi.
int Scale(int pixelsAt96);

// Guards every read and write of the screen's pixels. Screen DCs hold it
// for one drawing operation at a time; the presenter holds it while it
// copies changed areas out.
std::mutex& ScreenLock();
// Geometry().width * Geometry().height pixels; valid for the process's life.
uint32_t* ScreenPixels();
// Records that an area of the screen changed (screen coordinates; clipped
// to the screen) and wakes the presenter. Cheap; callable with or without
// ScreenLock held, from any thread.
void MarkScreenDirty(const RECT& area);

// The navigation bar: the top Scale(26) rows, drawn by the display itself
// (caption of the foreground window and the clock). Windows never draw
// over it.
RECT NavBarRect();
// Below the navigation bar: where top-level windows live by default.
RECT WorkArea();
// The window system calls this when the foreground window or its caption
// changed; the bar is redrawn on the presenter thread.
void NavBarChanged();

// Starts the backend of $ORVI_DISPLAY ("sdl", "headless"; default sdl when
// $DISPLAY or $WAYLAND_DISPLAY is set, else headless) and, when
// $ORVI_AUTOMATION names a socket path, the automation listener. Called by
// the window system when the first top-level window is created; idempotent
// and thread-safe. A failing sdl backend falls back to headless (traced).
void EnsureStarted();
// Raises the desktop window of this process (SetForegroundWindow from
// another process).
void RaiseHostWindow();

}  // namespace orvi::display
