// Thread-message round trips between two threads: post, receive, post back,
// receive. Run with --benchmark_repetitions=N to get the median.
#include <benchmark/benchmark.h>

#include "platform.h"

namespace {

constexpr UINT UM_PING = WM_USER + 1;
constexpr UINT UM_PONG = WM_USER + 2;
constexpr UINT UM_DONE = WM_USER + 3;

DWORD Echo(LPVOID) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == UM_DONE)
            break;
        if (msg.message == UM_PING)
            PostThreadMessageW(static_cast<DWORD>(msg.lParam), UM_PONG, msg.wParam, 0);
    }
    return 0;
}

void BM_ThreadMessageRoundTrip(benchmark::State& state) {
    DWORD echoId = 0;
    HANDLE echo = CreateThread(nullptr, 0, Echo, nullptr, 0, &echoId);
    const auto self = static_cast<LPARAM>(GetCurrentThreadId());
    MSG msg;
    WPARAM sequence = 0;
    for (auto _ : state) {
        PostThreadMessageW(echoId, UM_PING, ++sequence, self);
        GetMessageW(&msg, nullptr, 0, 0);
        if (msg.message != UM_PONG || msg.wParam != sequence) {
            state.SkipWithError("reply out of order");
            break;
        }
    }
    PostThreadMessageW(echoId, UM_DONE, 0, 0);
    WaitForSingleObject(echo, INFINITE);
    CloseHandle(echo);
    state.counters["round_trips_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ThreadMessageRoundTrip)->UseRealTime()->MinTime(1.0);

}  // namespace
