// Helpers shared by the wave-out tests: formats, buffers, a recorder for the
// device's notifications, and a bound on calls that could deadlock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "mmsystem.h"

namespace orvi::test {

inline WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// A caller-owned buffer with its header.
struct WaveBuffer {
    explicit WaveBuffer(std::vector<char> bytes) : data(std::move(bytes)) {
        header.lpData = data.data();
        header.dwBufferLength = static_cast<DWORD>(data.size());
    }
    explicit WaveBuffer(size_t size, char fill = 0) : WaveBuffer(std::vector<char>(size, fill)) {}
    std::vector<char> data;
    WAVEHDR header{};
};

// Receives the device's callbacks (dwInstance = the recorder).
class WaveRecorder {
public:
    using Clock = std::chrono::steady_clock;
    struct Notice {
        UINT message;
        WAVEHDR* header;
        DWORD flags;  // the header's flags when the notice arrived
        std::thread::id thread;
        Clock::time_point time;
    };

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

    DWORD_PTR Callback() const { return reinterpret_cast<DWORD_PTR>(&Proc); }
    DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }
    // Runs on the device's thread for each WOM_DONE, after it is recorded.
    void OnDone(std::function<void(WAVEHDR*)> action) { m_onDone = std::move(action); }

    // True once `count` WOM_DONE callbacks have finished within the time limit.
    bool WaitForDone(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_finished >= count; });
    }
    std::vector<Notice> Done() {
        std::lock_guard lock(m_mutex);
        std::vector<Notice> done;
        for (const Notice& n : m_notices)
            if (n.message == WOM_DONE)
                done.push_back(n);
        return done;
    }
    std::vector<WAVEHDR*> DoneHeaders() {
        std::vector<WAVEHDR*> headers;
        for (const Notice& n : Done())
            headers.push_back(n.header);
        return headers;
    }
    std::vector<Notice> All() {
        std::lock_guard lock(m_mutex);
        return m_notices;
    }

private:
    std::function<void(WAVEHDR*)> m_onDone;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Notice> m_notices;  // in the order the callbacks began
    size_t m_finished = 0;          // WOM_DONE callbacks that have returned
};

inline MMRESULT OpenWithRecorder(HWAVEOUT* device, const WAVEFORMATEX& format,
                                 WaveRecorder& recorder) {
    return waveOutOpen(device, WAVE_MAPPER, &format, recorder.Callback(), recorder.Instance(),
                       CALLBACK_FUNCTION);
}

inline MMRESULT PrepareAndWrite(HWAVEOUT device, WaveBuffer& buffer) {
    const MMRESULT r = waveOutPrepareHeader(device, &buffer.header, sizeof(WAVEHDR));
    return r != MMSYSERR_NOERROR ? r : waveOutWrite(device, &buffer.header, sizeof(WAVEHDR));
}

// Runs `call` on another thread and answers whether it finished within the
// limit, so that a deadlock fails the test instead of hanging it. A call
// that does not finish is left running with its state kept alive.
inline bool FinishesWithin(std::chrono::milliseconds limit, std::function<void()> call) {
    struct State {
        std::function<void()> call;
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    state->call = std::move(call);
    std::thread([state] {
        state->call();
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->done.wait_for(lock, limit, [&] { return state->finished; });
}

}  // namespace orvi::test
