// One open wave-out device: the queue of written buffers, the sink they go
// to, and the device's own thread that feeds the sink and hands finished
// buffers back to the caller's callback.
//
// Threading: the API functions run on the caller's thread and only change
// the queue and the request fields under m_mutex. The device's thread alone
// writes to and flushes the sink, and it alone delivers WOM_DONE, always
// with m_mutex released. A reset is carried out by the device's thread while
// the resetting caller waits, so buffers come back in write order from one
// thread; a reset from inside a callback is carried out there and then.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "AudioSink.h"
#include "PcmFormat.h"

namespace orvi::audio {

class WaveOutDevice {
public:
    WaveOutDevice(const PcmFormat& format, std::unique_ptr<AudioSink> sink,
                  LPWAVECALLBACK callback, DWORD_PTR instance);
    ~WaveOutDevice();
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    // Starts the device's thread and delivers WOM_OPEN; called once, with the
    // handle the caller will receive.
    void Start(HWAVEOUT handle);

    // The calls below answer MMSYSERR_INVALHANDLE once the device is closing;
    // their other results are those of the API functions of the same names.
    MMRESULT Prepare(WAVEHDR* header);
    MMRESULT Unprepare(WAVEHDR* header);
    MMRESULT Write(WAVEHDR* header);
    MMRESULT Reset();
    MMRESULT SetVolume(DWORD volume);
    MMRESULT GetVolume(DWORD* volume);

    // First half of waveOutClose: refuses while buffers are queued or when
    // called on the device's own thread, else marks the device closing.
    MMRESULT BeginClose();
    // Second half: ends the thread, finishes the sink, delivers WOM_CLOSE.
    void EndClose();

private:
    struct Entry {
        WAVEHDR* header;
        DWORD fed = 0;       // bytes of the buffer given to the sink
        bool complete = false;
        uint64_t end = 0;    // stream offset of its last byte, once complete
    };

    void Run();
    bool FeedOne(std::unique_lock<std::mutex>& lock);
    bool RetireOne(std::unique_lock<std::mutex>& lock);
    void ServeReset(std::unique_lock<std::mutex>& lock);
    void WaitForWork(std::unique_lock<std::mutex>& lock);
    void Notify(UINT message, WAVEHDR* header) const;
    bool OnDeviceThread() const { return std::this_thread::get_id() == m_threadId; }

    const PcmFormat m_format;
    const std::unique_ptr<AudioSink> m_sink;
    const LPWAVECALLBACK m_callback;
    const DWORD_PTR m_instance;
    const size_t m_chunkBytes;   // bytes given to the sink at a time
    std::vector<BYTE> m_chunk;   // device thread only
    HWAVEOUT m_handle = nullptr; // set by Start, before any other call
    std::thread m_thread;

    std::mutex m_mutex;                // guards everything below
    std::condition_variable m_wake;    // the device's thread waits here
    std::condition_variable m_served;  // resetting callers wait here
    std::thread::id m_threadId;        // the device's thread, set as it starts
    std::deque<Entry> m_queue;         // written and not yet returned, in order
    uint64_t m_written = 0;            // bytes given to the sink since open or reset
    uint64_t m_resetRequests = 0;
    uint64_t m_resetsServed = 0;
    DWORD m_volume = 0xFFFFFFFF;
    bool m_closing = false;
    bool m_stop = false;
};

}  // namespace orvi::audio
