#include "CFfmpegLibrary.h"

#include <string>

#include "OrviDebug.h"

CFfmpegLibrary g_ffmpeg;

namespace {

// How many majors newer than the headers' are tried (and refused when found),
// so that the log says why a newer installation is not used.
constexpr int kNewerMajors = 3;

enum ModuleIndex { kAvformat, kAvcodec, kAvutil, kSwresample };

struct ModuleName {
    const char16_t* stem;  // "libavformat.so."
    int major;             // the major this build's headers describe
};

const ModuleName kModuleNames[] = {
    {u"libavformat.so.", LIBAVFORMAT_VERSION_MAJOR},
    {u"libavcodec.so.", LIBAVCODEC_VERSION_MAJOR},
    {u"libavutil.so.", LIBAVUTIL_VERSION_MAJOR},
    {u"libswresample.so.", LIBSWRESAMPLE_VERSION_MAJOR},
};

std::u16string SoName(const ModuleName& module, int major) {
    std::u16string name = module.stem;
    orvi::fmt::Format(&name, u"%d", major);
    return name;
}

// FFmpeg's messages would go to the terminal; the program logs its own.
void DiscardLog(void*, int, const char*, va_list) {}

}  // namespace

BOOL CFfmpegLibrary::Load() {
    if (m_bLoaded)
        return TRUE;
    if (LoadModules() && BindFunctions() && VersionsMatch()) {
        av_log_set_callback(DiscardLog);
        m_bLoaded = TRUE;
        return TRUE;
    }
    Free();
    return FALSE;
}

void CFfmpegLibrary::Free() {
    // Only the library handles matter once the flag is down: every caller
    // checks IsLoaded first.
    m_bLoaded = FALSE;
    for (HMODULE& module : m_hModules) {
        if (module)
            FreeLibrary(module);
        module = nullptr;
    }
}

// avformat decides: newest soname first, down to the one the headers
// describe. Its companions are then taken at the headers' majors, which an
// installation of that avformat brings along.
BOOL CFfmpegLibrary::LoadModules() {
    const ModuleName& format = kModuleNames[kAvformat];
    for (int major = format.major + kNewerMajors; major >= format.major && !m_hModules[kAvformat]; --major) {
        const std::u16string name = SoName(format, major);
        HMODULE module = LoadLibraryW(name.c_str());
        if (!module)
            continue;
        if (major != format.major) {
            Log(u"%s is not the FFmpeg this program reads (%s%d)\r\n", name, format.stem, format.major);
            FreeLibrary(module);
            continue;
        }
        m_hModules[kAvformat] = module;
    }
    if (!m_hModules[kAvformat]) {
        Log(u"Load %s%d failed!\terr=%ld\r\n", format.stem, format.major, GetLastError());
        return FALSE;
    }
    for (int index = kAvcodec; index < kModules; ++index) {
        const std::u16string name = SoName(kModuleNames[index], kModuleNames[index].major);
        if (!(m_hModules[index] = LoadLibraryW(name.c_str()))) {
            Log(u"Load %s failed!\terr=%ld\r\n", name, GetLastError());
            return FALSE;
        }
    }
    return TRUE;
}

namespace {

// Looks the name up in each module in turn, as the table names functions
// without saying which library exports them.
template <class F>
bool Bind(const HMODULE* modules, int count, F*& slot, const char16_t* name) {
    slot = nullptr;
    for (int i = 0; i < count && !slot; ++i)
        slot = reinterpret_cast<F*>(GetProcAddress(modules[i], name));
    if (!slot)
        Log(u"GetProcAddress %s failed!\r\n", name);
    return slot != nullptr;
}

}  // namespace

BOOL CFfmpegLibrary::BindFunctions() {
    const auto bind = [this](auto& slot, const char16_t* name) { return Bind(m_hModules, kModules, slot, name); };
    bool ok = true;
    ok &= bind(avformat_version, u"avformat_version");
    ok &= bind(avformat_alloc_context, u"avformat_alloc_context");
    ok &= bind(avformat_open_input, u"avformat_open_input");
    ok &= bind(avformat_find_stream_info, u"avformat_find_stream_info");
    ok &= bind(av_read_frame, u"av_read_frame");
    ok &= bind(avformat_close_input, u"avformat_close_input");
    ok &= bind(avio_alloc_context, u"avio_alloc_context");
    ok &= bind(avio_context_free, u"avio_context_free");
    ok &= bind(avcodec_version, u"avcodec_version");
    ok &= bind(avcodec_find_decoder, u"avcodec_find_decoder");
    ok &= bind(avcodec_alloc_context3, u"avcodec_alloc_context3");
    ok &= bind(avcodec_parameters_to_context, u"avcodec_parameters_to_context");
    ok &= bind(avcodec_open2, u"avcodec_open2");
    ok &= bind(avcodec_send_packet, u"avcodec_send_packet");
    ok &= bind(avcodec_receive_frame, u"avcodec_receive_frame");
    ok &= bind(avcodec_free_context, u"avcodec_free_context");
    ok &= bind(av_packet_alloc, u"av_packet_alloc");
    ok &= bind(av_packet_unref, u"av_packet_unref");
    ok &= bind(av_packet_free, u"av_packet_free");
    ok &= bind(avutil_version, u"avutil_version");
    ok &= bind(av_malloc, u"av_malloc");
    ok &= bind(av_freep, u"av_freep");
    ok &= bind(av_frame_alloc, u"av_frame_alloc");
    ok &= bind(av_frame_free, u"av_frame_free");
    ok &= bind(av_dict_get, u"av_dict_get");
    ok &= bind(av_log_set_callback, u"av_log_set_callback");
    ok &= bind(av_channel_layout_default, u"av_channel_layout_default");
    ok &= bind(av_channel_layout_copy, u"av_channel_layout_copy");
    ok &= bind(av_channel_layout_uninit, u"av_channel_layout_uninit");
    ok &= bind(swresample_version, u"swresample_version");
    ok &= bind(swr_alloc_set_opts2, u"swr_alloc_set_opts2");
    ok &= bind(swr_init, u"swr_init");
    ok &= bind(swr_convert, u"swr_convert");
    ok &= bind(swr_get_out_samples, u"swr_get_out_samples");
    ok &= bind(swr_free, u"swr_free");
    return ok;
}

// The sonames promise the majors; the libraries' own answers are checked
// too, since a structure layout mismatch would not fail loudly.
BOOL CFfmpegLibrary::VersionsMatch() {
    const unsigned versions[kModules] = {avformat_version(), avcodec_version(), avutil_version(),
                                         swresample_version()};
    for (int i = 0; i < kModules; ++i) {
        if (static_cast<int>(versions[i] >> 16) != kModuleNames[i].major) {
            Log(u"%s%d reports version %u.%u\r\n", kModuleNames[i].stem, kModuleNames[i].major, versions[i] >> 16,
                (versions[i] >> 8) & 0xFF);
            return FALSE;
        }
    }
    return TRUE;
}
