// The `null` sink: an ideal device that plays nothing. Its playback clock
// runs at the format's byte rate from the moment bytes are written to an
// idle sink, and keeps running without drift while more keep arriving, so
// callers pace themselves as against a sound card and timing is repeatable.
#include <algorithm>
#include <mutex>

#include "AudioSink.h"

namespace orvi::audio {
namespace {

using Clock = std::chrono::steady_clock;

class NullSink final : public AudioSink {
public:
    explicit NullSink(const PcmFormat& format) : m_bytesPerSec(format.bytesPerSec) {}

    bool Write(const BYTE*, size_t size) override {
        std::lock_guard lock(m_mutex);
        const Clock::time_point now = Clock::now();
        // An idle sink starts playing the new bytes now, not when it went idle.
        if (ConsumedAt(now) >= m_written) {
            m_consumedAtStart = m_written;
            m_start = now;
        }
        m_written += size;
        return true;
    }
    uint64_t Consumed() override {
        std::lock_guard lock(m_mutex);
        return ConsumedAt(Clock::now());
    }
    void Flush() override {
        std::lock_guard lock(m_mutex);
        m_written = 0;
        m_consumedAtStart = 0;
        m_start = Clock::now();
    }
    std::chrono::milliseconds WaitHint(uint64_t target) override;
    void Finish() override {}

private:
    // Bytes played by `now` since m_start, never more than were written. The
    // whole seconds and the rest are scaled apart, so that the product
    // cannot overflow however long the sink plays.
    uint64_t ConsumedAt(Clock::time_point now) const {
        const auto elapsedUs = std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::microseconds>(now - m_start).count());
        const uint64_t seconds = static_cast<uint64_t>(elapsedUs) / 1000000;
        const uint64_t restUs = static_cast<uint64_t>(elapsedUs) % 1000000;
        const uint64_t played = seconds * m_bytesPerSec + restUs * m_bytesPerSec / 1000000;
        return std::min(m_written, m_consumedAtStart + played);
    }

    const uint64_t m_bytesPerSec;
    std::mutex m_mutex;  // guards the fields below
    uint64_t m_written = 0;
    uint64_t m_consumedAtStart = 0;  // bytes consumed when the clock (re)started
    Clock::time_point m_start = Clock::now();
};

std::chrono::milliseconds NullSink::WaitHint(uint64_t target) {
    using std::chrono::milliseconds;
    std::lock_guard lock(m_mutex);
    const uint64_t consumed = ConsumedAt(Clock::now());
    if (consumed >= target)
        return milliseconds(0);
    // Bytes not yet written never play; a write wakes the device anyway and
    // the hint only bounds the sleep.
    if (target > m_written)
        return milliseconds(100);
    return milliseconds((target - consumed) * 1000 / m_bytesPerSec + 1);
}

}  // namespace

std::unique_ptr<AudioSink> OpenNullSink(const PcmFormat& format, MMRESULT* result) {
    *result = MMSYSERR_NOERROR;
    return std::make_unique<NullSink>(format);
}

}  // namespace orvi::audio
