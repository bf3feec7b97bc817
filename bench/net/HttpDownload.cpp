// The HTTP client against the local test server:
// - DownloadVsCurl: a 50 MB body into a file through DownloadFile (2048-byte
//   reads with message dispatch between them) and through `curl -o` of the
//   same URL in the same run; counters give both wall times and their ratio.
// - ReadBody300K: the cost of reading a 300 KB page into memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "COrviHttp.h"
#include "TestHttpServer.h"
#include "platform.h"

namespace {

using orvi::test::HttpResponse;
using orvi::test::TestHttpServer;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kLargeBody = 50ull * 1024 * 1024;
constexpr std::uint64_t kPage = 300 * 1024;

// One device root and one server for the whole run.
struct Fixture {
    Fixture() {
        root = std::filesystem::temp_directory_path() / ("orvi-bench-http-" + std::to_string(getpid()));
        std::filesystem::create_directories(root);
        setenv("ORVI_DEVICE_ROOT", root.c_str(), 1);
        server.Route("/large.bin", HttpResponse::Pattern(kLargeBody));
        server.Route("/page.opml", HttpResponse::Pattern(kPage, "text/xml"));
        server.Start();
    }
    ~Fixture() {
        server.Stop();
        std::filesystem::remove_all(root);
    }
    std::u16string Url(const std::string& path) const {
        const std::string url = server.Url(path);
        return std::u16string(url.begin(), url.end());
    }
    std::filesystem::path root;
    TestHttpServer server;
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void DownloadVsCurl(benchmark::State& state) {
    Fixture& f = Shared();
    const std::u16string url = f.Url("/large.bin");
    const std::string curl = "curl -s -o '" + (f.root / "curl.bin").string() + "' '" +
                             f.server.Url("/large.bin") + "'";
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        std::filesystem::remove(f.root / "large.bin");
        auto start = Clock::now();
        COrviHttp http;
        const int result = http.DownloadFile(url.c_str(), u"\\large.bin", FALSE);
        http.Close();
        ours += Seconds(Clock::now() - start);
        if (result != 200 || std::filesystem::file_size(f.root / "large.bin") != kLargeBody) {
            state.SkipWithError("DownloadFile failed");
            return;
        }
        start = Clock::now();
        if (std::system(curl.c_str()) != 0) {
            state.SkipWithError("curl failed");
            return;
        }
        theirs += Seconds(Clock::now() - start);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["orvi_s"] = ours / n;
    state.counters["curl_s"] = theirs / n;
    state.counters["ratio"] = ours / theirs;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kLargeBody));
}
BENCHMARK(DownloadVsCurl)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void ReadBody300K(benchmark::State& state) {
    Fixture& f = Shared();
    const std::u16string url = f.Url("/page.opml");
    COrviHttp http;
    for (auto _ : state) {
        const BYTE* data = nullptr;
        if (http.SendGet(url.c_str()) != 200 || http.ReadBody(&data, 20, 0) != static_cast<int>(kPage)) {
            state.SkipWithError("ReadBody failed");
            return;
        }
        http.CloseRequest();
    }
    http.Close();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPage));
}
// CPU time of the reading thread (the network thread is not counted).
BENCHMARK(ReadBody300K)->Unit(benchmark::kMicrosecond);

}  // namespace
