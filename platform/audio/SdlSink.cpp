// The `sdl` sink: the host's sound card through SDL2's queued audio. Bytes
// count as consumed once SDL has taken them from its queue for the device.
// SDL has no 24-bit samples, so those are widened to 32 bits on the way in.
#include <SDL.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "AudioSink.h"
#include "kernel/internal.h"

namespace orvi::audio {
namespace {

SDL_AudioFormat SdlFormat(WORD bits) {
    switch (bits) {
    case 8: return AUDIO_U8;
    case 16: return AUDIO_S16LSB;
    default: return AUDIO_S32LSB;
    }
}

// SDL's device buffer: a power of two near 20 ms.
Uint16 DeviceFrames(DWORD rate) {
    Uint16 frames = 256;
    while (frames < 4096 && frames < rate / 50)
        frames *= 2;
    return frames;
}

class SdlSink final : public AudioSink {
public:
    SdlSink(SDL_AudioDeviceID device, const PcmFormat& format, uint64_t lookahead)
        : m_device(device), m_format(format), m_lookahead(lookahead) {}
    ~SdlSink() override { Finish(); }

    bool Write(const BYTE* data, size_t size) override;
    uint64_t Consumed() override {
        std::lock_guard lock(m_mutex);
        return ConsumedLocked();
    }
    void Flush() override {
        std::lock_guard lock(m_mutex);
        SDL_ClearQueuedAudio(m_device);
        m_written = 0;
    }
    std::chrono::milliseconds WaitHint(uint64_t target) override {
        return std::chrono::milliseconds(Consumed() >= target ? 0 : 10);
    }
    void Finish() override {
        if (!m_device)
            return;
        SDL_CloseAudioDevice(m_device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_device = 0;
    }

private:
    bool Widened() const { return m_format.bitsPerSample == 24; }
    // Bytes still in SDL's queue, in the caller's format.
    uint64_t PendingLocked() const {
        const uint64_t queued = SDL_GetQueuedAudioSize(m_device);
        return Widened() ? queued / 4 * 3 : queued;
    }
    uint64_t ConsumedLocked() const {
        const uint64_t pending = PendingLocked();
        return m_written > pending ? m_written - pending : 0;
    }

    SDL_AudioDeviceID m_device;
    const PcmFormat m_format;
    const uint64_t m_lookahead;  // device-format bytes SDL may hold ahead
    std::vector<BYTE> m_wide;    // device thread only
    std::mutex m_mutex;          // orders queueing against the counter
    uint64_t m_written = 0;      // caller-format bytes queued since the last flush
};

bool SdlSink::Write(const BYTE* data, size_t size) {
    std::lock_guard lock(m_mutex);
    if (SDL_GetQueuedAudioSize(m_device) >= m_lookahead)
        return false;
    const void* out = data;
    size_t outSize = size;
    if (Widened()) {
        // A trailing partial sample cannot be widened; it is counted as
        // consumed so the buffer still comes back.
        const size_t samples = size / 3;
        m_wide.resize(samples * 4);
        for (size_t i = 0; i < samples; ++i) {
            m_wide[4 * i] = 0;
            std::copy_n(data + 3 * i, 3, m_wide.begin() + 4 * i + 1);
        }
        out = m_wide.data();
        outSize = m_wide.size();
    }
    if (outSize && SDL_QueueAudio(m_device, out, static_cast<Uint32>(outSize)) != 0)
        orvi::kernel::Trace("wave-out: SDL_QueueAudio failed: %s", SDL_GetError());
    m_written += size;
    return true;
}

}  // namespace

std::unique_ptr<AudioSink> OpenSdlSink(const PcmFormat& format, MMRESULT* result) {
    *result = MMSYSERR_NODRIVER;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        orvi::kernel::Trace("wave-out: SDL audio unavailable: %s", SDL_GetError());
        return nullptr;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.samplesPerSec);
    want.format = SdlFormat(format.bitsPerSample);
    want.channels = static_cast<Uint8>(format.channels);
    want.samples = DeviceFrames(format.samplesPerSec);
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        orvi::kernel::Trace("wave-out: SDL cannot open an output: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    const uint64_t frameBytes = uint64_t(SDL_AUDIO_BITSIZE(want.format) / 8) * want.channels;
    const uint64_t lookahead =
        std::max<uint64_t>(frameBytes * want.freq / 10, 2ull * have.size);
    SDL_PauseAudioDevice(device, 0);
    *result = MMSYSERR_NOERROR;
    return std::make_unique<SdlSink>(device, format, lookahead);
}

}  // namespace orvi::audio
