// The decoder player against other players, side by side in one run, all
// reading the same local ICY station (a 60-second 128 kbps MP3 tone):
// - PacedCpu: the station paced at its bit rate; CPU seconds per minute of
//   audio and peak RSS of `calvaro-play --sink null`, `mpv --no-video
//   --ao=null` and `ffmpeg -f null`, run at the same time. Counters give each
//   and the ratios (targets: calvaro at most 0.3 x mpv and 1.2 x ffmpeg;
//   RSS under 25 MB).
// - UnpacedThroughput: the station served as fast as it is read; wall time
//   of calvaro-play into a `file:` sink on /dev/null against `ffmpeg -f null`
//   (target: ratio ffmpeg/calvaro of at least 0.9).
// - FirstBuffer: a station that bursts its first 64 KB, then keeps the bit
//   rate; milliseconds from the start of calvaro-play to its first buffer
//   written to the device (target: under 1500).
// mpv and ffmpeg come from `make bench`; a missing one is reported as skipped.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TestAudio.h"
#include "TestHttpServer.h"

extern char** environ;

namespace {

using orvi::test::HttpResponse;
using Clock = std::chrono::steady_clock;

constexpr double kAudioSeconds = 60.0;
constexpr std::uint64_t kBytesPerSecond = 16000;  // 128 kbps
constexpr std::uint64_t kBurst = 64 * 1024;

struct Run {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double peakRssMb = 0;
    int status = -1;
    std::string output;
};

// Starts argv with its standard output in a pipe (or /dev/null).
struct Child {
    pid_t pid = -1;
    int out = -1;
    Clock::time_point start;

    explicit Child(const std::vector<std::string>& argv, bool capture) {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int fds[2] = {-1, -1};
        if (capture && pipe(fds) == 0) {
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
            posix_spawn_file_actions_addclose(&actions, fds[0]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        start = Clock::now();
        if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (fds[1] >= 0)
            close(fds[1]);
        out = fds[0];
    }

    Run Wait() {
        Run run;
        char buffer[4096];
        ssize_t n;
        while (out >= 0 && (n = read(out, buffer, sizeof(buffer))) > 0)
            run.output.append(buffer, static_cast<size_t>(n));
        if (out >= 0)
            close(out);
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
            return run;
        run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        run.peakRssMb = usage.ru_maxrss / 1024.0;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
};

bool Installed(const char* program) {
    const std::string command = std::string("command -v ") + program + " > /dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

struct Station {
    Station() {
        orvi::test::ToneFormat tone;
        tone.seconds = kAudioSeconds;
        audio = orvi::test::EncodeTone(tone);
        server.Route("/paced", Response(kBytesPerSecond, 0));
        server.Route("/burst", Response(kBytesPerSecond, kBurst));
        server.Route("/unpaced", Response(0, 0));
        server.Start();
    }
    HttpResponse Response(std::uint64_t rate, std::uint64_t burst) const {
        HttpResponse response;
        response.statusLine = "ICY 200 OK";
        response.headers = {{"Content-Type", "audio/mpeg"}, {"icy-name", "Bench Radio"}};
        response.body = audio;
        response.framing = orvi::test::Framing::CloseDelimited;
        response.icy.interval = 16000;
        response.icy.blocks = std::vector<std::string>(100, orvi::test::IcyTitle("Bench - Tone"));
        response.bytesPerSecond = rate;
        response.burstBytes = burst;
        return response;
    }
    std::string Url(const std::string& path) const { return server.Url(path); }

    std::string audio;
    orvi::test::TestHttpServer server;
};

Station& Shared() {
    static Station station;
    return station;
}

std::vector<std::string> Calvaro(const std::vector<std::string>& extra, const std::string& url) {
    std::vector<std::string> argv{CALVARO_PLAY};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(url);
    return argv;
}

std::vector<std::string> Ffmpeg(const std::string& url) {
    return {"ffmpeg", "-nostdin", "-loglevel", "error", "-i", url, "-f", "null", "-"};
}

void PacedCpu(benchmark::State& state) {
    Station& station = Shared();
    const bool haveMpv = Installed("mpv");
    const bool haveFfmpeg = Installed("ffmpeg");
    for (auto _ : state) {
        Child calvaro(Calvaro({"--sink", "null"}, station.Url("/paced")), false);
        Child mpv(haveMpv ? std::vector<std::string>{"mpv", "--no-config", "--no-video", "--ao=null",
                                                      "--really-quiet", station.Url("/paced")}
                          : std::vector<std::string>{"true"},
                  false);
        Child ffmpeg(haveFfmpeg ? Ffmpeg(station.Url("/paced")) : std::vector<std::string>{"true"}, false);
        const Run ours = calvaro.Wait();
        const Run theirs = mpv.Wait();
        const Run reference = ffmpeg.Wait();
        const double minutes = kAudioSeconds / 60;
        state.counters["calvaro_cpu_s_per_min"] = ours.cpuSeconds / minutes;
        state.counters["calvaro_rss_mb"] = ours.peakRssMb;
        state.counters["calvaro_wall_s"] = ours.wallSeconds;
        if (haveMpv) {
            state.counters["mpv_cpu_s_per_min"] = theirs.cpuSeconds / minutes;
            state.counters["mpv_rss_mb"] = theirs.peakRssMb;
            state.counters["ratio_vs_mpv"] = ours.cpuSeconds / theirs.cpuSeconds;
        }
        if (haveFfmpeg) {
            state.counters["ffmpeg_cpu_s_per_min"] = reference.cpuSeconds / minutes;
            state.counters["ffmpeg_rss_mb"] = reference.peakRssMb;
            state.counters["ratio_vs_ffmpeg"] = ours.cpuSeconds / reference.cpuSeconds;
        }
        if (ours.status != 0)
            state.SkipWithError("calvaro-play failed");
    }
}

void UnpacedThroughput(benchmark::State& state) {
    Station& station = Shared();
    if (!Installed("ffmpeg")) {
        state.SkipWithError("ffmpeg is not installed (make bench installs it)");
        return;
    }
    for (auto _ : state) {
        const Run ours = Child(Calvaro({"--sink", "file:/dev/null"}, station.Url("/unpaced")), false).Wait();
        const Run reference = Child(Ffmpeg(station.Url("/unpaced")), false).Wait();
        state.counters["calvaro_wall_s"] = ours.wallSeconds;
        state.counters["ffmpeg_wall_s"] = reference.wallSeconds;
        state.counters["ratio_ffmpeg_over_calvaro"] = reference.wallSeconds / ours.wallSeconds;
        state.counters["calvaro_x_realtime"] = kAudioSeconds / ours.wallSeconds;
        if (ours.status != 0)
            state.SkipWithError("calvaro-play failed");
    }
}

void FirstBuffer(benchmark::State& state) {
    Station& station = Shared();
    for (auto _ : state) {
        const Run ours =
            Child(Calvaro({"--sink", "null", "--timing", "--seconds", "1"}, station.Url("/burst")), true).Wait();
        const size_t at = ours.output.find("first buffer: ");
        if (ours.status != 0 || at == std::string::npos) {
            state.SkipWithError("calvaro-play wrote no buffer");
            break;
        }
        state.counters["first_buffer_ms"] = std::atof(ours.output.c_str() + at + 14);
    }
}

BENCHMARK(PacedCpu)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(UnpacedThroughput)->Iterations(1)->Repetitions(3)->Unit(benchmark::kSecond);
BENCHMARK(FirstBuffer)->Iterations(1)->Repetitions(5)->Unit(benchmark::kMillisecond);

}  // namespace
