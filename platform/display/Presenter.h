// The display thread: sleeps until the screen changed, the navigation bar
// needs drawing or the clock's minute turned, then presents only the changed
// areas through the backend. It never polls: a change wakes it, and with
// nothing changing it wakes once a minute for the clock.
//
// Lock order: ScreenLock before the presenter's own lock. The presenter
// never calls out of the display (backend, user, gdi) while holding its lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "DirtyRegion.h"
#include "DisplayBackend.h"
#include "NavBar.h"

namespace orvi::display {

class Presenter {
public:
    // The process's one presenter; never destroyed, its thread runs until exit.
    static Presenter& Instance();

    // Starts the display thread once; later calls do nothing.
    void Start();
    // Any thread, with or without ScreenLock held.
    void MarkDirty(const RECT& screenArea);
    void RequestNavBar();
    void RequestRaise();

    // Waits until everything requested before the call has been presented.
    // True at once when the presenter was never started (nothing to wait for).
    bool Flush(std::chrono::milliseconds timeout);
    // Nothing requested that the display thread has not finished.
    bool Idle();

private:
    enum class Change { Area, NavBar, Raise };

    void Request(Change change, const RECT* area);
    void Run();
    void OpenBackend();
    bool FinishBatch(uint64_t batch);

    std::mutex m_lock;
    std::condition_variable m_presented;
    DirtyRegion m_dirty;
    bool m_navBarRequested = false;
    bool m_raiseRequested = false;
    uint64_t m_requested = 0;  // count of requests so far
    uint64_t m_done = 0;       // requests finished by the display thread
    bool m_started = false;
    bool m_sleeping = false;  // parked in WaitForWork; a request must wake it
    bool m_wakeSent = false;
    std::unique_ptr<DisplayBackend> m_backend;
    NavBar m_navBar;  // display thread only
};

}  // namespace orvi::display
