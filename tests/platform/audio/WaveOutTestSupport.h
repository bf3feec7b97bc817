// Helpers shared by the wave-out tests: formats, buffers, a recorder for the
// device's notifications, and a bound on calls that could deadlock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mmsystem.h"

namespace orvi::test {

constexpr UINT kHdr = sizeof(WAVEHDR);

inline WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
    const WORD align = static_cast<WORD>(channels * bits / 8);
    return WAVEFORMATEX{WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// A caller-owned buffer with its header.
struct WaveBuffer {
    explicit WaveBuffer(std::vector<char> bytes) : data(std::move(bytes)) {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<DWORD>(data.size());
    }
    explicit WaveBuffer(size_t size) : WaveBuffer(std::vector<char>(size)) {}
    std::vector<char> data;
    WAVEHDR header{};
};

// Receives the device's callbacks and opens devices that report to it.
class WaveRecorder {
public:
    using Clock = std::chrono::steady_clock;
    struct Notice {  // flags: the header's when the notice arrived
        UINT message; WAVEHDR* header; DWORD flags; std::thread::id thread; Clock::time_point time;
    };

    MMRESULT Open(HWAVEOUT* device, const WAVEFORMATEX& format) {
        return waveOutOpen(device, WAVE_MAPPER, &format, Callback(), Instance(), CALLBACK_FUNCTION);
    }
    DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(&Proc); }
    DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }
    // Runs on the device's thread for each WOM_DONE, after it is recorded.
    void OnDone(std::function<void(WAVEHDR*)> action) { m_onDone = std::move(action); }

    // True once `count` WOM_DONE callbacks have returned within the limit.
    bool WaitForDone(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_finished >= count; });
    }
    // The notices in the order the callbacks began; 0 for every message.
    std::vector<Notice> All(UINT message = 0) {
        std::lock_guard lock(m_mutex);
        std::vector<Notice> notices;
        for (const Notice& n : m_notices)
            if (!message || n.message == message)
                notices.push_back(n);
        return notices;
    }
    std::vector<Notice> Done() { return All(WOM_DONE); }
    std::vector<WAVEHDR*> DoneHeaders() {
        std::vector<WAVEHDR*> headers;
        for (const Notice& n : All(WOM_DONE))
            headers.push_back(n.header);
        return headers;
    }

private:
    static void CALLBACK Proc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                              DWORD_PTR) {
        auto* self = reinterpret_cast<WaveRecorder*>(instance);
        auto* header = reinterpret_cast<WAVEHDR*>(param1);
        {
            std::lock_guard lock(self->m_mutex);
            self->m_notices.push_back({message, header, header ? header->dwFlags : 0,
                                       std::this_thread::get_id(), Clock::now()});
        }
        if (message != WOM_DONE)
            return;
        if (self->m_onDone)
            self->m_onDone(header);
        std::lock_guard lock(self->m_mutex);
        ++self->m_finished;
        self->m_changed.notify_all();
    }

    std::function<void(WAVEHDR*)> m_onDone;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Notice> m_notices;
    size_t m_finished = 0;  // WOM_DONE callbacks that have returned
};

inline MMRESULT PrepareAndWrite(HWAVEOUT device, WaveBuffer& buffer) {
    const MMRESULT r = waveOutPrepareHeader(device, &buffer.header, kHdr);
    return r != MMSYSERR_NOERROR ? r : waveOutWrite(device, &buffer.header, kHdr);
}

// Runs `call` on another thread and answers whether it finished within the
// limit, so that a deadlock fails the test instead of hanging it. A call
// that does not finish is left running with its state kept alive.
inline bool FinishesWithin(std::chrono::milliseconds limit, std::function<void()> call) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(call));
    std::future<void> finished = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    return finished.wait_for(limit) == std::future_status::ready;
}

}  // namespace orvi::test
