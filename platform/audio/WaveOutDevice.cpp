// The wave-out device's queue and thread.
#include "WaveOutDevice.h"

#include <algorithm>
#include <cstring>

namespace orvi::audio {
namespace {

// About 20 ms of sound per write to the sink, in whole frames.
size_t ChunkBytes(const PcmFormat& format) {
    const size_t frames = std::max<size_t>(1, format.samplesPerSec / 50);
    return frames * format.blockAlign;
}

}  // namespace

WaveOutDevice::WaveOutDevice(const PcmFormat& format, std::unique_ptr<AudioSink> sink,
                             LPWAVECALLBACK callback, DWORD_PTR instance)
    : m_format(format),
      m_sink(std::move(sink)),
      m_callback(callback),
      m_instance(instance),
      m_chunkBytes(ChunkBytes(format)) {}

WaveOutDevice::~WaveOutDevice() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    m_sink->Finish();
}

void WaveOutDevice::Start(HWAVEOUT handle) {
    m_handle = handle;
    m_thread = std::thread([this] { Run(); });
    Notify(WOM_OPEN, nullptr);
}

void WaveOutDevice::Notify(UINT message, WAVEHDR* header) const {
    m_callback(m_handle, message, m_instance, reinterpret_cast<DWORD_PTR>(header), 0);
}

MMRESULT WaveOutDevice::Prepare(WAVEHDR* header) {
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Unprepare(WAVEHDR* header) {
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    header->dwFlags &= ~DWORD(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Write(WAVEHDR* header) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closing)
            return MMSYSERR_INVALHANDLE;
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags = (header->dwFlags & ~DWORD(WHDR_DONE)) | WHDR_INQUEUE;
        header->lpNext = nullptr;
        m_queue.push_back(Entry{header});
    }
    m_wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::Reset() {
    std::unique_lock lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    if (OnDeviceThread()) {
        ServeReset(lock);
        return MMSYSERR_NOERROR;
    }
    const uint64_t request = ++m_resetRequests;
    m_wake.notify_all();
    m_served.wait(lock, [&] { return m_resetsServed >= request || m_stop; });
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::SetVolume(DWORD volume) {
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    m_volume = volume;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::GetVolume(DWORD* volume) {
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    *volume = m_volume;
    return MMSYSERR_NOERROR;
}

MMRESULT WaveOutDevice::BeginClose() {
    std::lock_guard lock(m_mutex);
    if (m_closing)
        return MMSYSERR_INVALHANDLE;
    if (OnDeviceThread())
        return MMSYSERR_ERROR;
    if (!m_queue.empty())
        return WAVERR_STILLPLAYING;
    m_closing = true;
    return MMSYSERR_NOERROR;
}

void WaveOutDevice::EndClose() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_served.notify_all();
    m_thread.join();
    m_sink->Finish();
    Notify(WOM_CLOSE, nullptr);
}

// ---- the device's thread -------------------------------------------------------

void WaveOutDevice::Run() {
    std::unique_lock lock(m_mutex);
    m_threadId = std::this_thread::get_id();
    while (!m_stop) {
        if (m_resetsServed != m_resetRequests) {
            const uint64_t request = m_resetRequests;
            ServeReset(lock);
            m_resetsServed = request;
            m_served.notify_all();
            continue;
        }
        if (RetireOne(lock))
            continue;
        if (FeedOne(lock))
            continue;
        WaitForWork(lock);
    }
}

// Gives the sink the next piece of the first buffer not yet fully given.
// False when there is none or the sink has no room now. While the lock is
// released for the sink, entries can only be appended (resets are served on
// this thread and closing needs an empty queue), so the index stays valid.
bool WaveOutDevice::FeedOne(std::unique_lock<std::mutex>& lock) {
    const auto it = std::find_if(m_queue.begin(), m_queue.end(),
                                 [](const Entry& e) { return !e.complete; });
    if (it == m_queue.end())
        return false;
    const size_t index = static_cast<size_t>(it - m_queue.begin());
    const WAVEHDR* header = it->header;
    const size_t size = std::min<size_t>(header->dwBufferLength - it->fed, m_chunkBytes);
    if (size > 0) {
        m_chunk.assign(header->lpData + it->fed, header->lpData + it->fed + size);
        ApplyGains(m_chunk.data(), size, m_format, GainsOf(m_volume));
        lock.unlock();
        const bool accepted = m_sink->Write(m_chunk.data(), size);
        lock.lock();
        if (!accepted)
            return false;
    }
    Entry& entry = m_queue[index];
    entry.fed += static_cast<DWORD>(size);
    m_written += size;
    if (entry.fed == entry.header->dwBufferLength) {
        entry.complete = true;
        entry.end = m_written;
    }
    return true;
}

// Hands back the first buffer once the sink has consumed all of it. One at a
// time, so that a reset from inside the callback returns the rest in order.
bool WaveOutDevice::RetireOne(std::unique_lock<std::mutex>& lock) {
    if (m_queue.empty() || !m_queue.front().complete || m_sink->Consumed() < m_queue.front().end)
        return false;
    WAVEHDR* header = m_queue.front().header;
    m_queue.pop_front();
    header->dwFlags = (header->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
    lock.unlock();
    Notify(WOM_DONE, header);
    lock.lock();
    return true;
}

void WaveOutDevice::ServeReset(std::unique_lock<std::mutex>& lock) {
    std::deque<Entry> returned;
    returned.swap(m_queue);
    m_sink->Flush();
    m_written = 0;
    for (Entry& entry : returned)
        entry.header->dwFlags = (entry.header->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
    lock.unlock();
    for (Entry& entry : returned)
        Notify(WOM_DONE, entry.header);
    lock.lock();
}

void WaveOutDevice::WaitForWork(std::unique_lock<std::mutex>& lock) {
    if (m_queue.empty()) {
        m_wake.wait(lock);
        return;
    }
    // Either the first buffer is waiting to be consumed or the sink is full.
    const Entry& front = m_queue.front();
    const uint64_t target = front.complete ? front.end : m_written;
    auto hint = m_sink->WaitHint(target);
    if (hint.count() <= 0)
        hint = std::chrono::milliseconds(1);
    m_wake.wait_for(lock, hint);
}

}  // namespace orvi::audio
