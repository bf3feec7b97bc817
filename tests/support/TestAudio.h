// Audio for the playback tests and benchmarks, made on the spot with the
// FFmpeg libraries (linked directly here, unlike the program, which binds
// them at run time): encoded tones in any container FFmpeg writes, a
// video-only file, and the reading of what the `file:` sink wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvi::test {

struct ToneFormat {
    std::string encoder = "libmp3lame";  // "aac", "libmp3lame", "pcm_s16le", ...
    std::string muxer = "mp3";           // "mp3", "adts", "wav", ...
    int sampleRate = 44100;
    int channels = 2;
    int bitRate = 128000;
    double seconds = 3.0;
    double frequency = 440.0;
};

// The tone encoded as the muxer writes it to a stream that cannot seek (so a
// file begins as a live stream would). Empty when FFmpeg lacks the encoder.
std::string EncodeTone(const ToneFormat& tone);

// A few frames of a grey animation as a GIF: a stream without audio.
std::string EncodeVideoOnly();

// A RIFF WAVE file of 16-bit PCM as the `file:` sink writes it.
struct WavFile {
    bool valid = false;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    uint32_t dataBytes = 0;  // as the header says
    std::vector<int16_t> samples;  // interleaved
    double Seconds() const {
        return valid && channels && sampleRate ? double(samples.size()) / channels / sampleRate : 0;
    }
};
WavFile ReadWavFile(const std::string& hostPath);

// The frequency of channel 0 by its rising zero crossings, leaving out
// `skipSeconds` at either end (where codecs start up and flush); 0 without
// a signal.
double ZeroCrossingFrequency(const WavFile& wav, double skipSeconds = 0.2);

}  // namespace orvi::test
