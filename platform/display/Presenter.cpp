#include "Presenter.h"

#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "internal.h"
#include "kernel/internal.h"

namespace orvi::display {

namespace {

bool WantsSdl() {
    const char* choice = std::getenv("ORVI_DISPLAY");
    if (choice && std::strcmp(choice, "headless") == 0)
        return false;
    if (choice && std::strcmp(choice, "sdl") == 0)
        return true;
    if (choice && *choice)
        kernel::Trace("display: unknown ORVI_DISPLAY=\"%s\"; choosing by the desktop", choice);
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

Presenter& Presenter::Instance() {
    static Presenter* presenter = new Presenter;
    return *presenter;
}

void Presenter::Start() {
    {
        std::lock_guard lock(m_lock);
        if (m_started)
            return;
        m_started = true;
        // The bar is drawn once at start, before anything else is presented.
        m_navBarRequested = true;
        ++m_requested;
    }
    std::thread([this] { Run(); }).detach();
}

void Presenter::MarkDirty(const RECT& screenArea) {
    Request(Change::Area, &screenArea);
}

void Presenter::RequestNavBar() {
    Request(Change::NavBar, nullptr);
}

void Presenter::RequestRaise() {
    Request(Change::Raise, nullptr);
}

void Presenter::Request(Change change, const RECT* area) {
    DisplayBackend* wake = nullptr;
    {
        std::lock_guard lock(m_lock);
        switch (change) {
        case Change::Area: m_dirty.Add(*area); break;
        case Change::NavBar: m_navBarRequested = true; break;
        case Change::Raise: m_raiseRequested = true; break;
        }
        ++m_requested;
        if (m_sleeping && !m_wakeSent) {
            m_wakeSent = true;
            wake = m_backend.get();
        }
    }
    // Outside the lock: an SDL wake-up takes SDL's own event lock.
    if (wake)
        wake->Wake();
}

bool Presenter::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    if (!m_started)
        return true;
    const uint64_t target = m_requested;
    return m_presented.wait_for(lock, timeout, [&] { return m_done >= target; });
}

bool Presenter::Idle() {
    std::lock_guard lock(m_lock);
    return !m_started || m_done == m_requested;
}

void Presenter::OpenBackend() {
    std::unique_ptr<DisplayBackend> backend;
    if (WantsSdl()) {
        backend = CreateSdlBackend();
        if (!backend->Open()) {
            kernel::Trace("display: no desktop window available; running headless");
            backend.reset();
        }
    }
    if (!backend) {
        backend = CreateHeadlessBackend();
        backend->Open();
    }
    std::lock_guard lock(m_lock);
    m_backend = std::move(backend);
}

// Marks a batch finished unless more arrived meanwhile; when finished the
// thread may sleep, and from here on a request must wake it.
bool Presenter::FinishBatch(uint64_t batch) {
    std::lock_guard lock(m_lock);
    if (m_requested != batch || m_navBarRequested || m_raiseRequested || !m_dirty.Empty())
        return false;
    m_done = batch;
    m_sleeping = true;
    m_wakeSent = false;
    m_presented.notify_all();
    return true;
}

void Presenter::Run() {
    OpenBackend();
    for (;;) {
        bool navBar = false;
        bool raise = false;
        {
            std::lock_guard lock(m_lock);
            m_sleeping = false;
            navBar = std::exchange(m_navBarRequested, false);
            raise = std::exchange(m_raiseRequested, false);
        }
        if (raise)
            m_backend->Raise();
        m_navBar.Update(navBar);
        std::vector<RECT> areas;
        uint64_t batch = 0;
        {
            std::lock_guard lock(m_lock);
            areas = m_dirty.Take();
            batch = m_requested;
        }
        if (!areas.empty())
            m_backend->Present(areas);
        if (FinishBatch(batch))
            m_backend->WaitForWork(m_navBar.NextClockChange());
    }
}

}  // namespace orvi::display
