// Decoding on the decode thread: packets in, interleaved signed 16-bit PCM
// out, through the scratch area at the start of the sample block.
#include <algorithm>
#include <cstring>

#include "CDecoderEngine.h"
#include "CPlayer.h"
#include "OrviDebug.h"

// Decodes into pOut[cbFilled, cbTarget). Frames the decoder already holds
// are taken before the next packet is read; what does not fit becomes the
// leftover. Returns the bytes in the buffer, with the buffer size set to -1
// once the stream has ended or failed to decode, or -1 when a stop or quit
// request is waiting.
int CDecoderEngine::DecodeInto(BYTE* pOut, int cbFilled, int cbTarget) {
    while (cbFilled < cbTarget) {
        if (const int cbBuffered = DrainConverter(); cbBuffered > 0) {
            cbFilled = TakeConverted(pOut, cbFilled, cbTarget, cbBuffered);
            continue;
        }
        int result = g_ffmpeg.avcodec_receive_frame(m_pCodec, m_pFrame);
        if (result == 0) {
            const int cbConverted = ConvertFrame();
            if (cbConverted < 0)
                return CodecFailed(cbFilled, 0);
            cbFilled = TakeConverted(pOut, cbFilled, cbTarget, cbConverted);
            continue;
        }
        if (result == AVERROR_EOF) {
            m_nBufferSize = -1;
            return cbFilled;
        }
        if (result != AVERROR(EAGAIN))
            return CodecFailed(cbFilled, 0);
        // The decoder wants input. Any failure to read ends the stream as
        // its real end would; the decoder still gives what it holds.
        result = g_ffmpeg.av_read_frame(m_pFormat, m_pPacket);
        if (StopIsWaiting()) {
            g_ffmpeg.av_packet_unref(m_pPacket);
            return -1;
        }
        if (result < 0 || m_pPacket->size == 0) {
            g_ffmpeg.av_packet_unref(m_pPacket);
            g_ffmpeg.avcodec_send_packet(m_pCodec, nullptr);
            continue;
        }
        if (m_pPacket->stream_index != m_nAudioStream) {
            Log(u"The frame no a audio stream!\n");
            g_ffmpeg.av_packet_unref(m_pPacket);
            continue;
        }
        const int cbPacket = m_pPacket->size;
        result = g_ffmpeg.avcodec_send_packet(m_pCodec, m_pPacket);
        g_ffmpeg.av_packet_unref(m_pPacket);
        // "No output yet" is the decoder's delay, not a failure.
        if (result < 0 && result != AVERROR(EAGAIN))
            return CodecFailed(cbFilled, cbPacket);
    }
    return cbFilled;
}

int CDecoderEngine::CodecFailed(int cbFilled, int cbPacket) {
    Notify(UM_DECODER_CODEC_ERROR);
    Log(u"avcodec_decode_audio failed! size=%ld\n", cbPacket);
    m_nBufferSize = -1;
    return cbFilled;
}

// Converts the frame just received into the scratch area; its bytes, or -1.
// A frame larger than the scratch area leaves the rest inside the
// converter, which DrainConverter hands out next.
int CDecoderEngine::ConvertFrame() {
    if (!PrepareConverter())
        return -1;
    uint8_t* out[1] = {m_pSamples};
    const int blockAlign = m_wChannels * 2;
    const int samples = g_ffmpeg.swr_convert(m_pSwr, out, static_cast<int>(kScratchBytes) / blockAlign,
                                             const_cast<const uint8_t**>(m_pFrame->extended_data),
                                             m_pFrame->nb_samples);
    return samples < 0 ? -1 : samples * blockAlign;
}

// Output the converter holds back for want of room. Only a converter that
// does not resample is drained this way: draining a resampler would flush
// its filter mid-stream.
int CDecoderEngine::DrainConverter() {
    const int deviceRate = static_cast<int>(m_dwBytesPerSec / (m_wChannels * 2u));
    if (!m_pSwr || m_nSwrRate != deviceRate || g_ffmpeg.swr_get_out_samples(m_pSwr, 0) <= 0)
        return 0;
    uint8_t* out[1] = {m_pSamples};
    const int blockAlign = m_wChannels * 2;
    const int samples =
        g_ffmpeg.swr_convert(m_pSwr, out, static_cast<int>(kScratchBytes) / blockAlign, nullptr, 0);
    return samples > 0 ? samples * blockAlign : 0;
}

// The converter follows the frames: its input is what the decoder produces
// now (a stream may change rate or layout midway), its output the device's
// format.
bool CDecoderEngine::PrepareConverter() {
    const AVFrame* frame = m_pFrame;
    AVChannelLayout input{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels < 1)
        g_ffmpeg.av_channel_layout_default(&input, std::max(frame->ch_layout.nb_channels, 1));
    else if (g_ffmpeg.av_channel_layout_copy(&input, &frame->ch_layout) < 0)
        return false;
    const bool same = m_pSwr && frame->sample_rate == m_nSwrRate && frame->format == m_nSwrFormat &&
                      input.order == m_swrLayout.order && input.nb_channels == m_swrLayout.nb_channels &&
                      (input.order != AV_CHANNEL_ORDER_NATIVE || input.u.mask == m_swrLayout.u.mask);
    if (same) {
        g_ffmpeg.av_channel_layout_uninit(&input);
        return true;
    }
    g_ffmpeg.swr_free(&m_pSwr);
    g_ffmpeg.av_channel_layout_uninit(&m_swrLayout);
    AVChannelLayout output{};
    g_ffmpeg.av_channel_layout_default(&output, m_wChannels);
    const int deviceRate = static_cast<int>(m_dwBytesPerSec / (m_wChannels * 2u));
    const int result = g_ffmpeg.swr_alloc_set_opts2(&m_pSwr, &output, AV_SAMPLE_FMT_S16, deviceRate, &input,
                                                    static_cast<AVSampleFormat>(frame->format),
                                                    frame->sample_rate, 0, nullptr);
    g_ffmpeg.av_channel_layout_uninit(&output);
    if (result < 0 || g_ffmpeg.swr_init(m_pSwr) < 0) {
        g_ffmpeg.swr_free(&m_pSwr);
        g_ffmpeg.av_channel_layout_uninit(&input);
        return false;
    }
    m_swrLayout = input;  // takes over what input owns
    m_nSwrRate = frame->sample_rate;
    m_nSwrFormat = frame->format;
    return true;
}

// Appends the converted bytes at the start of the scratch area to the
// buffer; the part beyond the target stays there as the leftover.
int CDecoderEngine::TakeConverted(BYTE* pOut, int cbFilled, int cbTarget, int cbConverted) {
    const int cbTaken = std::min(cbConverted, cbTarget - cbFilled);
    std::memcpy(pOut + cbFilled, m_pSamples, cbTaken);
    if (cbConverted > cbTaken) {
        m_pLeftover = m_pSamples + cbTaken;
        m_cbLeftover = cbConverted - cbTaken;
    }
    return cbFilled + cbTaken;
}
