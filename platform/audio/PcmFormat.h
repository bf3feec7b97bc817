// The PCM formats the wave-out device plays, and the volume scaling it
// applies to their samples.
#pragma once

#include <cstddef>

#include "mmsystem.h"

namespace orvi::audio {

// A checked copy of the caller's WAVEFORMATEX (which is byte-packed and may
// be unaligned).
struct PcmFormat {
    WORD channels = 0;
    DWORD samplesPerSec = 0;
    WORD bitsPerSample = 0;
    WORD blockAlign = 0;
    DWORD bytesPerSec = 0;
};

// MMSYSERR_NOERROR with *format filled, else WAVERR_BADFORMAT (or
// MMSYSERR_INVALPARAM for a null record).
MMRESULT CheckPcmFormat(const WAVEFORMATEX* wfx, PcmFormat* format);

// Per-channel gains, 0 (silent) to 0xFFFF (unchanged).
struct ChannelGains {
    WORD left = 0xFFFF;
    WORD right = 0xFFFF;
    bool Unity() const { return left == 0xFFFF && right == 0xFFFF; }
};

// The gains of a device volume (low word left, high word right).
inline ChannelGains GainsOf(DWORD volume) { return {LOWORD(volume), HIWORD(volume)}; }

// Scales the whole samples in data[0, size) in place: 8-bit samples around
// their midpoint 128, wider ones as signed little-endian integers. Channel 0
// (and every even channel) takes the left gain, odd channels the right; a
// mono stream takes the left gain. A trailing partial frame is left as it is.
void ApplyGains(BYTE* data, size_t size, const PcmFormat& format, ChannelGains gains);

}  // namespace orvi::audio
