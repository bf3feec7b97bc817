// calvaro-play: plays a station the way the program does, without its
// windows, for benchmarks and for people without a display.
//
//   calvaro-play [--sink sdl|null|file:PATH] [--seconds N] [--volume V] [--timing] URL
//   calvaro-play [options] --favorite N [--favorites DEVICE_PATH]
//
// URL is resolved first (download cache, media type, playlists); a URL
// given with --direct is played as it stands. --favorite N plays entry N
// (from 0) of the favourites file: the one the installed environment names,
// or DEVICE_PATH. Exit status 0 when audio was played.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CFfmpegLibrary.h"
#include "CHeadlessPlayer.h"
#include "CStationDirectory.h"
#include "OpmlPage.h"
#include "platform.h"

namespace {

struct Arguments {
    CHeadlessPlayer::Options options;
    std::string sink;
    std::string url;
    std::string favorites;
    int favorite = -1;
    bool direct = false;
};

int Usage() {
    std::fprintf(stderr,
                 "usage: calvaro-play [--sink sdl|null|file:PATH] [--seconds N] [--volume V] [--timing] "
                 "[--direct] URL\n"
                 "       calvaro-play [options] --favorite N [--favorites DEVICE_PATH]\n");
    return 2;
}

bool Parse(int argc, char** argv, Arguments* args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--sink" && hasValue)
            args->sink = argv[++i];
        else if (arg == "--seconds" && hasValue)
            args->options.dSeconds = std::atof(argv[++i]);
        else if (arg == "--volume" && hasValue)
            args->options.nVolume = std::atoi(argv[++i]);
        else if (arg == "--favorite" && hasValue)
            args->favorite = std::atoi(argv[++i]);
        else if (arg == "--favorites" && hasValue)
            args->favorites = argv[++i];
        else if (arg == "--timing")
            args->options.bTiming = true;
        else if (arg == "--direct")
            args->direct = true;
        else if (!arg.empty() && arg[0] != '-' && args->url.empty())
            args->url = arg;
        else
            return false;
    }
    return args->favorite >= 0 ? args->url.empty() : !args->url.empty();
}

std::u16string Wide(const std::string& text) {
    WCHAR buffer[MAX_PATH * 4] = {};
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer, MAX_PATH * 4 - 1);
    return buffer;
}

// The favourite's record, owned by the directory; NULL (reported) when
// there is no such entry.
const CRadioChannel* FindFavorite(CStationDirectory& directory, const Arguments& args) {
    CRadioChannel* list = nullptr;
    if (!args.favorites.empty()) {
        list = NewChannel(directory);
        list->localFile = Wide(args.favorites);
        list->timeLimit = -1;
        LoadPage(directory, list, FALSE);
    } else if (directory.Config().Load()) {
        list = directory.GetFavorites();
    } else {
        std::fprintf(stderr, "calvaro-play: no environment file: install the program or give --favorites\n");
        return nullptr;
    }
    if (args.favorite >= list->children.GetSize()) {
        std::fprintf(stderr, "calvaro-play: there are %d favourites\n", list->children.GetSize());
        return nullptr;
    }
    return list->children[args.favorite];
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!Parse(argc, argv, &args))
        return Usage();
    // Before the platform reads them: no desktop window, and the sink asked for.
    setenv("ORVI_DISPLAY", "headless", 0);
    if (!args.sink.empty())
        setenv("ORVI_AUDIO", args.sink.c_str(), 1);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    if (!g_ffmpeg.Load())
        std::fprintf(stderr, "calvaro-play: the FFmpeg libraries cannot be loaded\n");
    int result = 1;
    {
        CStationDirectory directory;
        CRadioChannel station;
        const CRadioChannel* play = &station;
        if (args.favorite >= 0) {
            play = FindFavorite(directory, args);
        } else {
            station.url = Wide(args.url);
            station.bitrate = args.direct ? CRadioChannel::kDirectStream : 0;
        }
        if (play) {
            CHeadlessPlayer player(args.options);
            result = player.Run(*play);
        }
    }
    g_ffmpeg.Free();
    CoUninitialize();
    return result;
}
