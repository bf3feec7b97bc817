// The navigation bar at the top of the screen: the foreground window's
// caption on the left, the clock on the right. Used only by the display
// thread; drawing goes through a screen DC like any window's.
#pragma once

#include <chrono>
#include <string>

namespace orvi::display {

class NavBar {
public:
    // Redraws the bar when asked to (the foreground window or its caption
    // changed) or when the clock text moved on since the last drawing.
    void Update(bool captionChanged);
    // Just after the next minute boundary, when the clock text changes.
    std::chrono::steady_clock::time_point NextClockChange() const;

private:
    void Draw();

    std::u16string m_caption;
    std::u16string m_clock;
};

// "H:MM" of the local time now.
std::u16string ClockText();

}  // namespace orvi::display
