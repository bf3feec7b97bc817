// Format checks and volume scaling of PCM samples.
#include "PcmFormat.h"

#include <cstdint>
#include <cstring>

namespace orvi::audio {
namespace {

constexpr DWORD kMaxSampleRate = 768000;
constexpr WORD kMaxChannels = 8;

int64_t Scale(int64_t sample, WORD gain) { return sample * gain / 0xFFFF; }

// Reads and writes one little-endian signed sample of `bytes` bytes (2-4).
int32_t LoadSigned(const BYTE* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<uint32_t>(p[i]) << (8 * i);
    const int shift = 32 - 8 * bytes;
    return static_cast<int32_t>(value << shift) >> shift;
}

void StoreSigned(BYTE* p, int bytes, int32_t sample) {
    const uint32_t value = static_cast<uint32_t>(sample);
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace

MMRESULT CheckPcmFormat(const WAVEFORMATEX* wfx, PcmFormat* format) {
    if (!wfx)
        return MMSYSERR_INVALPARAM;
    WAVEFORMATEX copy;
    std::memcpy(&copy, wfx, sizeof(copy));
    PcmFormat f;
    f.channels = copy.nChannels;
    f.samplesPerSec = copy.nSamplesPerSec;
    f.bitsPerSample = copy.wBitsPerSample;
    f.blockAlign = copy.nBlockAlign;
    f.bytesPerSec = copy.nAvgBytesPerSec;
    const bool bitsOk = f.bitsPerSample == 8 || f.bitsPerSample == 16 || f.bitsPerSample == 24 ||
                        f.bitsPerSample == 32;
    if (copy.wFormatTag != WAVE_FORMAT_PCM || !bitsOk || f.channels < 1 ||
        f.channels > kMaxChannels || f.samplesPerSec == 0 || f.samplesPerSec > kMaxSampleRate)
        return WAVERR_BADFORMAT;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8 ||
        f.bytesPerSec != f.samplesPerSec * f.blockAlign)
        return WAVERR_BADFORMAT;
    *format = f;
    return MMSYSERR_NOERROR;
}

void ApplyGains(BYTE* data, size_t size, const PcmFormat& format, ChannelGains gains) {
    if (gains.Unity() || format.blockAlign == 0)
        return;
    const int bytes = format.bitsPerSample / 8;
    const size_t frames = size / format.blockAlign;
    BYTE* p = data;
    for (size_t frame = 0; frame < frames; ++frame) {
        for (WORD channel = 0; channel < format.channels; ++channel, p += bytes) {
            const WORD gain = (channel % 2 == 0) ? gains.left : gains.right;
            if (bytes == 1)
                *p = static_cast<BYTE>(128 + Scale(int64_t(*p) - 128, gain));
            else
                StoreSigned(p, bytes, static_cast<int32_t>(Scale(LoadSigned(p, bytes), gain)));
        }
    }
}

}  // namespace orvi::audio
