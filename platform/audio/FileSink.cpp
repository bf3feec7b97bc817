// The `file:` sink: a RIFF WAVE file on the host, written as fast as buffers
// arrive. A reset cannot take back what is in the file: it only restarts the
// count of consumed bytes. The header is written with zero sizes at open and completed by
// Finish, so an unfinished file is recognisable as such.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "AudioSink.h"
#include "kernel/internal.h"

namespace orvi::audio {
namespace {

constexpr size_t kHeaderSize = 44;
constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 40;

void PutLe(BYTE* p, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<BYTE>(value >> (8 * i));
}

void BuildHeader(const PcmFormat& f, BYTE (&h)[kHeaderSize]) {
    std::memcpy(h, "RIFF\0\0\0\0WAVEfmt ", 16);
    PutLe(h + 16, 16, 4);
    PutLe(h + 20, WAVE_FORMAT_PCM, 2);
    PutLe(h + 22, f.channels, 2);
    PutLe(h + 24, f.samplesPerSec, 4);
    PutLe(h + 28, f.bytesPerSec, 4);
    PutLe(h + 32, f.blockAlign, 2);
    PutLe(h + 34, f.bitsPerSample, 2);
    std::memcpy(h + 36, "data\0\0\0\0", 8);
}

class FileSink final : public AudioSink {
public:
    FileSink(std::FILE* file, std::string path) : m_file(file), m_path(std::move(path)) {}
    ~FileSink() override { Finish(); }

    // A failed write loses the bytes (traced once) but still counts them as
    // consumed, so the buffer comes back; the header counts what the file holds.
    bool Write(const BYTE* data, size_t size) override {
        const size_t written = size ? std::fwrite(data, 1, size, m_file) : 0;
        if (written != size && !m_failed) {
            m_failed = true;
            orvi::kernel::Trace("wave-out: writing %s failed: %s", m_path.c_str(),
                                std::strerror(errno));
        }
        m_dataBytes += written;
        m_consumed.fetch_add(size);
        return true;
    }
    uint64_t Consumed() override { return m_consumed.load(); }
    void Flush() override { m_consumed.store(0); }
    std::chrono::milliseconds WaitHint(uint64_t) override { return std::chrono::milliseconds(0); }
    void Finish() override;

private:
    std::FILE* m_file;
    const std::string m_path;
    bool m_failed = false;       // device thread only
    uint64_t m_dataBytes = 0;    // device thread only, then Finish
    std::atomic<uint64_t> m_consumed{0};
};

// A data chunk of odd length is followed by a pad byte, which the RIFF size
// counts. Sizes beyond the 32-bit fields are capped.
void FileSink::Finish() {
    if (!m_file)
        return;
    const uint64_t maxData = 0xFFFFFFFFull - 36 - 1;
    const uint32_t data = static_cast<uint32_t>(m_dataBytes < maxData ? m_dataBytes : maxData);
    if (data % 2)
        std::fputc(0, m_file);
    BYTE size[4];
    PutLe(size, 36 + data + data % 2, 4);
    bool ok = std::fseek(m_file, kRiffSizeOffset, SEEK_SET) == 0 && std::fwrite(size, 1, 4, m_file) == 4;
    PutLe(size, data, 4);
    ok = ok && std::fseek(m_file, kDataSizeOffset, SEEK_SET) == 0 &&
         std::fwrite(size, 1, 4, m_file) == 4;
    if (std::fclose(m_file) != 0 || !ok)
        orvi::kernel::Trace("wave-out: completing %s failed", m_path.c_str());
    m_file = nullptr;
}

}  // namespace

std::unique_ptr<AudioSink> OpenFileSink(const PcmFormat& format, const char* hostPath,
                                        MMRESULT* result) {
    std::FILE* file = std::fopen(hostPath, "wb");
    if (!file) {
        orvi::kernel::Trace("wave-out: cannot create %s: %s", hostPath, std::strerror(errno));
        *result = MMSYSERR_NODRIVER;
        return nullptr;
    }
    BYTE header[kHeaderSize];
    BuildHeader(format, header);
    if (std::fwrite(header, 1, kHeaderSize, file) != kHeaderSize) {
        orvi::kernel::Trace("wave-out: cannot write %s", hostPath);
        std::fclose(file);
        *result = MMSYSERR_NODRIVER;
        return nullptr;
    }
    *result = MMSYSERR_NOERROR;
    return std::make_unique<FileSink>(file, hostPath);
}

}  // namespace orvi::audio
