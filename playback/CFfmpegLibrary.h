// The program's one binding of the FFmpeg libraries. They are loaded by file
// name at run time and every function the decoder uses is bound by name, so
// that a device without them still runs: only the decoder player fails to
// open a stream.
//
// The FFmpeg headers are used for their types and structure layouts only;
// nothing here links against the libraries. A library is therefore accepted
// only when its major version is the one those headers describe: a newer
// major may have moved the fields the decoder reads.
//
// Threading: Load and Free run on the user-interface thread at start-up and
// exit, before any decoder exists and after the last one is gone. In between
// the table is read-only and every thread may call through it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libswresample/swresample.h>
}

#include "platform.h"

class CFfmpegLibrary {
public:
    CFfmpegLibrary() = default;
    CFfmpegLibrary(const CFfmpegLibrary&) = delete;
    CFfmpegLibrary& operator=(const CFfmpegLibrary&) = delete;
    ~CFfmpegLibrary() { Free(); }

    // Loads libavformat (the newest installed soname this build can read),
    // then its companions, binds every function and silences FFmpeg's own
    // logging. TRUE when every function was found; FALSE (logged) leaves
    // the table empty. Calling it again after success does nothing.
    BOOL Load();
    // Empties the table and releases the libraries.
    void Free();
    BOOL IsLoaded() const { return m_bLoaded; }

    // libavformat
    decltype(&::avformat_version) avformat_version = nullptr;
    decltype(&::avformat_alloc_context) avformat_alloc_context = nullptr;
    decltype(&::avformat_open_input) avformat_open_input = nullptr;
    decltype(&::avformat_find_stream_info) avformat_find_stream_info = nullptr;
    decltype(&::av_read_frame) av_read_frame = nullptr;
    decltype(&::avformat_close_input) avformat_close_input = nullptr;
    decltype(&::avio_alloc_context) avio_alloc_context = nullptr;
    decltype(&::avio_context_free) avio_context_free = nullptr;
    // libavcodec
    decltype(&::avcodec_version) avcodec_version = nullptr;
    decltype(&::avcodec_find_decoder) avcodec_find_decoder = nullptr;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3 = nullptr;
    decltype(&::avcodec_parameters_to_context) avcodec_parameters_to_context = nullptr;
    decltype(&::avcodec_open2) avcodec_open2 = nullptr;
    decltype(&::avcodec_send_packet) avcodec_send_packet = nullptr;
    decltype(&::avcodec_receive_frame) avcodec_receive_frame = nullptr;
    decltype(&::avcodec_free_context) avcodec_free_context = nullptr;
    decltype(&::av_packet_alloc) av_packet_alloc = nullptr;
    decltype(&::av_packet_unref) av_packet_unref = nullptr;
    decltype(&::av_packet_free) av_packet_free = nullptr;
    // libavutil
    decltype(&::avutil_version) avutil_version = nullptr;
    decltype(&::av_malloc) av_malloc = nullptr;
    decltype(&::av_freep) av_freep = nullptr;
    decltype(&::av_frame_alloc) av_frame_alloc = nullptr;
    decltype(&::av_frame_free) av_frame_free = nullptr;
    decltype(&::av_dict_get) av_dict_get = nullptr;
    decltype(&::av_log_set_callback) av_log_set_callback = nullptr;
    decltype(&::av_channel_layout_default) av_channel_layout_default = nullptr;
    decltype(&::av_channel_layout_copy) av_channel_layout_copy = nullptr;
    decltype(&::av_channel_layout_uninit) av_channel_layout_uninit = nullptr;
    // libswresample
    decltype(&::swresample_version) swresample_version = nullptr;
    decltype(&::swr_alloc_set_opts2) swr_alloc_set_opts2 = nullptr;
    decltype(&::swr_init) swr_init = nullptr;
    decltype(&::swr_convert) swr_convert = nullptr;
    decltype(&::swr_get_out_samples) swr_get_out_samples = nullptr;
    decltype(&::swr_free) swr_free = nullptr;

private:
    BOOL LoadModules();
    BOOL BindFunctions();
    BOOL VersionsMatch();

    static constexpr int kModules = 4;  // avformat, avcodec, avutil, swresample
    HMODULE m_hModules[kModules] = {};
    BOOL m_bLoaded = FALSE;
};

// The program's table.
extern CFfmpegLibrary g_ffmpeg;
