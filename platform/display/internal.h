// Internal functions shared by the display's files. Nothing outside
// platform/display includes this header.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "display/Display.h"

namespace orvi::display {

// Parses "WxH@DPI" (or "WxH", meaning 96 dpi). Empty when the text is not of
// that form or a value is outside what a device screen can be.
std::optional<ScreenGeometry> ParseScreenGeometry(std::string_view text);

// Clips a rectangle to the screen; the result may be empty.
RECT ClipToScreen(const RECT& area);
bool IsEmptyRect(const RECT& r);

// The integer factor the sdl backend enlarges the screen by: $ORVI_SCALE when
// it holds 1..8, else 2 for a 96-dpi screen and 1 for a 192-dpi one.
int HostWindowScale();

// Encodes the whole framebuffer as PNG (RGB, 8 bits per channel) and writes
// it to a host path atomically. Waits for pending presenter work first so the
// picture holds what was drawn before the call. On failure returns false
// with *error set to a device last-error code.
bool WriteScreenshot(const std::string& hostPath, DWORD* error);

// Starts the automation listener on a host socket path (an existing socket
// file there is replaced). Returns false, traced, when it cannot listen.
bool StartAutomation(const std::string& socketPath);

}  // namespace orvi::display
