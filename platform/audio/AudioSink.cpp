// Choice of sink by $ORVI_AUDIO, read at every open.
#include "AudioSink.h"

#include <cstdlib>
#include <cstring>

#include "kernel/internal.h"

namespace orvi::audio {

std::unique_ptr<AudioSink> OpenAudioSink(const PcmFormat& format, MMRESULT* result) {
    const char* choice = std::getenv("ORVI_AUDIO");
    if (!choice || !*choice || std::strcmp(choice, "sdl") == 0)
        return OpenSdlSink(format, result);
    if (std::strcmp(choice, "null") == 0)
        return OpenNullSink(format, result);
    if (std::strncmp(choice, "file:", 5) == 0 && choice[5])
        return OpenFileSink(format, choice + 5, result);
    orvi::kernel::Trace("wave-out: unknown ORVI_AUDIO value '%s'", choice);
    *result = MMSYSERR_NODRIVER;
    return nullptr;
}

}  // namespace orvi::audio
