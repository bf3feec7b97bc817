// Where a wave-out device's bytes go. One sink per open device, chosen by
// $ORVI_AUDIO when the device opens (see mmsystem.h for the choices).
//
// Threading: Write, Flush and WaitHint are called only by the device's own
// thread. Consumed may be called from any thread, also while the device's
// thread is inside Write or Flush; each sink guards its own state. Finish is
// called once, after the device's thread has ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "PcmFormat.h"

namespace orvi::audio {

class AudioSink {
public:
    virtual ~AudioSink() = default;

    // Takes the whole block (whole frames of the device's format, except
    // perhaps at a buffer's end) or nothing: false means the sink holds as
    // much as it should ahead of playback; the device tries again later.
    virtual bool Write(const BYTE* data, size_t size) = 0;
    // Bytes (of the device's format) consumed since the sink opened or was
    // last flushed; never more than were written, never going back.
    virtual uint64_t Consumed() = 0;
    // Drops the bytes written but not yet consumed and starts counting from 0.
    virtual void Flush() = 0;
    // How long the device's thread may sleep before consumption can have
    // reached `target` (or new room opened up); zero when it already has.
    virtual std::chrono::milliseconds WaitHint(uint64_t target) = 0;
    // Ends output: stops the host device, completes the file.
    virtual void Finish() = 0;
};

// Opens the sink that $ORVI_AUDIO names for the format. On failure returns
// null with *result set (MMSYSERR_NODRIVER when there is no such output) and
// the reason traced.
std::unique_ptr<AudioSink> OpenAudioSink(const PcmFormat& format, MMRESULT* result);

// Sinks, as chosen by OpenAudioSink.
std::unique_ptr<AudioSink> OpenNullSink(const PcmFormat& format, MMRESULT* result);
std::unique_ptr<AudioSink> OpenFileSink(const PcmFormat& format, const char* hostPath,
                                        MMRESULT* result);
std::unique_ptr<AudioSink> OpenSdlSink(const PcmFormat& format, MMRESULT* result);

}  // namespace orvi::audio
