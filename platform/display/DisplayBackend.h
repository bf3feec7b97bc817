// What the presenter needs from a way of showing the screen. Every method
// except Wake runs on the display thread, the one thread that owns the
// backend's host resources (an SDL window must be driven from the thread
// that created it).
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "wintypes.h"

namespace orvi::display {

class DisplayBackend {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~DisplayBackend() = default;

    // Acquires host resources; false when the host cannot show a window.
    virtual bool Open() = 0;
    // Sleeps until Wake() is called or the deadline passes, handling host
    // events (input, window close, exposure) meanwhile. May return early.
    virtual void WaitForWork(Clock::time_point deadline) = 0;
    // Any thread: ends the current or next WaitForWork. Called only after
    // Open() succeeded.
    virtual void Wake() = 0;
    // Shows the given screen areas from the framebuffer. Takes ScreenLock
    // itself while it reads pixels.
    virtual void Present(const std::vector<RECT>& areas) = 0;
    // Brings the host window to the front, if there is one.
    virtual void Raise() = 0;
};

// The framebuffer alone is the truth: no window, nothing to show.
std::unique_ptr<DisplayBackend> CreateHeadlessBackend();
// A desktop window through SDL2, scaled by HostWindowScale().
std::unique_ptr<DisplayBackend> CreateSdlBackend();

}  // namespace orvi::display
