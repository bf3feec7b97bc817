#include "TestAudio.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace orvi::test {
namespace {

constexpr int kIoBytes = 65536;

int WriteToString(void* opaque, uint8_t* data, int size) {
    static_cast<std::string*>(opaque)->append(reinterpret_cast<const char*>(data), size);
    return size;
}

// An output context writing into *out through a non-seekable AVIO.
struct Output {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;

    Output(const std::string& muxer, std::string* out) {
        if (avformat_alloc_output_context2(&format, nullptr, muxer.c_str(), nullptr) < 0)
            return;
        auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBytes));
        io = avio_alloc_context(buffer, kIoBytes, 1, out, nullptr, WriteToString, nullptr);
        format->pb = io;
        format->flags |= AVFMT_FLAG_BITEXACT;
    }
    ~Output() {
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
        avformat_free_context(format);
    }
};

struct CodecContext {
    AVCodecContext* context = nullptr;
    ~CodecContext() { avcodec_free_context(&context); }
};

// Sends frame (NULL flushes) and writes every packet the encoder gives.
bool EncodeAndWrite(AVCodecContext* codec, AVFormatContext* format, AVStream* stream, const AVFrame* frame) {
    if (avcodec_send_frame(codec, frame) < 0)
        return false;
    AVPacket* packet = av_packet_alloc();
    int result;
    while ((result = avcodec_receive_packet(codec, packet)) == 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        av_interleaved_write_frame(format, packet);
    }
    av_packet_free(&packet);
    return result == AVERROR(EAGAIN) || result == AVERROR_EOF;
}

// One sample of the tone in the encoder's sample format, every channel alike.
void PutSample(AVFrame* frame, int index, double value) {
    const int channels = frame->ch_layout.nb_channels;
    const auto format = static_cast<AVSampleFormat>(frame->format);
    for (int c = 0; c < channels; ++c) {
        const bool planar = av_sample_fmt_is_planar(format);
        const int slot = planar ? index : index * channels + c;
        uint8_t* plane = frame->extended_data[planar ? c : 0];
        switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_FLT:
            reinterpret_cast<float*>(plane)[slot] = static_cast<float>(value);
            break;
        case AV_SAMPLE_FMT_S32:
            reinterpret_cast<int32_t*>(plane)[slot] = static_cast<int32_t>(value * 2147483647.0);
            break;
        default:
            reinterpret_cast<int16_t*>(plane)[slot] = static_cast<int16_t>(value * 32767.0);
            break;
        }
    }
}

bool OpenAudioEncoder(const ToneFormat& tone, const AVCodec* encoder, AVFormatContext* format,
                      AVCodecContext* context) {
    context->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    context->sample_rate = tone.sampleRate;
    av_channel_layout_default(&context->ch_layout, tone.channels);
    context->bit_rate = tone.bitRate;
    context->time_base = AVRational{1, tone.sampleRate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return avcodec_open2(context, encoder, nullptr) >= 0;
}

// The encoder's stream in the output, with the container's header written.
AVStream* StartOutput(AVFormatContext* format, const AVCodecContext* codec) {
    AVStream* stream = avformat_new_stream(format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec) < 0)
        return nullptr;
    stream->time_base = codec->time_base;
    return avformat_write_header(format, nullptr) < 0 ? nullptr : stream;
}

// Flushes the encoder and completes the container: the bytes, or nothing
// when anything on the way failed.
std::string FinishOutput(bool ok, AVCodecContext* codec, Output& output, AVStream* stream, std::string* out) {
    ok = ok && EncodeAndWrite(codec, output.format, stream, nullptr);
    if (av_write_trailer(output.format) < 0 || !ok)
        return {};
    avio_flush(output.io);
    return *out;
}

}  // namespace

std::string EncodeTone(const ToneFormat& tone) {
    std::string out;
    const AVCodec* encoder = avcodec_find_encoder_by_name(tone.encoder.c_str());
    Output output(tone.muxer, &out);
    CodecContext codec;
    if (!encoder || !output.format || !(codec.context = avcodec_alloc_context3(encoder)) ||
        !OpenAudioEncoder(tone, encoder, output.format, codec.context))
        return {};
    AVStream* stream = StartOutput(output.format, codec.context);
    if (!stream)
        return {};
    const int frameSize = codec.context->frame_size > 0 ? codec.context->frame_size : 1024;
    const int64_t total = static_cast<int64_t>(tone.seconds * tone.sampleRate);
    AVFrame* frame = av_frame_alloc();
    bool ok = true;
    for (int64_t at = 0; at < total && ok; at += frameSize) {
        frame->nb_samples = static_cast<int>(std::min<int64_t>(frameSize, total - at));
        if (!(codec.context->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
            frame->nb_samples < frameSize && codec.context->frame_size > 0)
            frame->nb_samples = frameSize;  // the last frame is padded with the tone
        frame->format = codec.context->sample_fmt;
        frame->sample_rate = tone.sampleRate;
        av_channel_layout_copy(&frame->ch_layout, &codec.context->ch_layout);
        ok = av_frame_get_buffer(frame, 0) >= 0;
        for (int i = 0; ok && i < frame->nb_samples; ++i)
            PutSample(frame, i, 0.5 * std::sin(2 * M_PI * tone.frequency * double(at + i) / tone.sampleRate));
        frame->pts = at;
        ok = ok && EncodeAndWrite(codec.context, output.format, stream, frame);
        av_frame_unref(frame);
    }
    av_frame_free(&frame);
    return FinishOutput(ok, codec.context, output, stream, &out);
}

std::string EncodeVideoOnly() {
    std::string out;
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_GIF);
    Output output("gif", &out);
    CodecContext codec;
    if (!encoder || !output.format || !(codec.context = avcodec_alloc_context3(encoder)))
        return {};
    codec.context->width = 32;
    codec.context->height = 32;
    codec.context->pix_fmt = AV_PIX_FMT_GRAY8;
    codec.context->time_base = AVRational{1, 10};
    if (avcodec_open2(codec.context, encoder, nullptr) < 0)
        return {};
    AVStream* stream = StartOutput(output.format, codec.context);
    if (!stream)
        return {};
    AVFrame* frame = av_frame_alloc();
    frame->width = 32;
    frame->height = 32;
    frame->format = AV_PIX_FMT_GRAY8;
    bool ok = av_frame_get_buffer(frame, 0) >= 0;
    for (int n = 0; ok && n < 10; ++n) {
        ok = av_frame_make_writable(frame) >= 0;
        for (int y = 0; ok && y < 32; ++y)
            std::memset(frame->data[0] + y * frame->linesize[0], (n * 20 + y) & 0xFF, 32);
        frame->pts = n;
        ok = ok && EncodeAndWrite(codec.context, output.format, stream, frame);
    }
    av_frame_free(&frame);
    return FinishOutput(ok, codec.context, output, stream, &out);
}

namespace {

uint32_t Le(const std::string& bytes, size_t at, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return value;
}

}  // namespace

WavFile ReadWavFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WavFile wav;
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 8, "WAVEfmt ") != 0 ||
        bytes.compare(36, 4, "data") != 0)
        return wav;
    wav.channels = static_cast<int>(Le(bytes, 22, 2));
    wav.sampleRate = static_cast<int>(Le(bytes, 24, 4));
    wav.bitsPerSample = static_cast<int>(Le(bytes, 34, 2));
    wav.dataBytes = Le(bytes, 40, 4);
    if (wav.bitsPerSample != 16 || wav.dataBytes > bytes.size() - 44)
        return wav;
    wav.samples.resize(wav.dataBytes / 2);
    std::memcpy(wav.samples.data(), bytes.data() + 44, wav.samples.size() * 2);
    wav.valid = true;
    return wav;
}

double ZeroCrossingFrequency(const WavFile& wav, double skipSeconds) {
    if (!wav.valid || wav.channels < 1)
        return 0;
    const size_t skip = static_cast<size_t>(skipSeconds * wav.sampleRate);
    const size_t total = wav.samples.size() / wav.channels;
    if (total <= 2 * skip)
        return 0;
    const size_t first = skip;
    const size_t frames = total - skip;
    size_t rising = 0;
    size_t firstRise = 0;
    size_t lastRise = 0;
    for (size_t i = first + 1; i < frames; ++i) {
        if (wav.samples[(i - 1) * wav.channels] < 0 && wav.samples[i * wav.channels] >= 0) {
            if (rising++ == 0)
                firstRise = i;
            lastRise = i;
        }
    }
    if (rising < 2)
        return 0;
    return double(rising - 1) * wav.sampleRate / double(lastRise - firstRise);
}

}  // namespace orvi::test
