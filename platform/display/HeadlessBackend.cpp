// The backend for tests and servers: the framebuffer is the screen.
#include <condition_variable>
#include <mutex>

#include "DisplayBackend.h"

namespace orvi::display {

namespace {

class HeadlessBackend final : public DisplayBackend {
public:
    bool Open() override { return true; }

    void WaitForWork(Clock::time_point deadline) override {
        std::unique_lock lock(m_lock);
        m_wake.wait_until(lock, deadline, [this] { return m_woken; });
        m_woken = false;
    }

    void Wake() override {
        {
            std::lock_guard lock(m_lock);
            m_woken = true;
        }
        m_wake.notify_one();
    }

    void Present(const std::vector<RECT>&) override {}
    void Raise() override {}

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_woken = false;
};

}  // namespace

std::unique_ptr<DisplayBackend> CreateHeadlessBackend() {
    return std::make_unique<HeadlessBackend>();
}

}  // namespace orvi::display
