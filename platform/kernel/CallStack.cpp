// GetCallStackSnapshot: the calling thread's return addresses, or the
// faulting stack while an exception filter runs.
#include <execinfo.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ExceptionGuard.h"
#include "kernelapi.h"

namespace orvi::kernel {
namespace {

// Walks deeper than asked by this many frames: GetCallStackSnapshot's own
// and those of a sanitizer's interceptor of backtrace.
constexpr size_t kOwnFrames = 8;
constexpr size_t kMaxWalk = 4096;

ULONG CopyFrames(const DWORD_PTR* frames, size_t count, ULONG maxFrames, CallSnapshot* out,
                 DWORD skip) {
    ULONG written = 0;
    for (size_t i = skip; i < count && written < maxFrames; ++i)
        out[written++].dwReturnAddr = frames[i];
    return written;
}

// The entry of the walk that is the caller's return address; the entries
// before it are inside GetCallStackSnapshot and backtrace.
size_t FirstCallerFrame(const std::vector<void*>& raw, size_t count, uintptr_t callerReturn) {
    for (size_t i = 0; i < count && i < kOwnFrames; ++i)
        if (reinterpret_cast<uintptr_t>(raw[i]) == callerReturn)
            return i;
    return std::min<size_t>(1, count);
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

extern "C" ULONG GetCallStackSnapshot(ULONG dwMaxFrames, CallSnapshot lpFrames[], DWORD dwFlags,
                                      DWORD dwSkip) {
    if (!lpFrames || dwMaxFrames == 0 || dwFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (const FaultCapture* fault = FilteredFault())
        return CopyFrames(fault->frames, fault->frameCount, dwMaxFrames, lpFrames, dwSkip);
    const auto callerReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    const size_t wanted = std::min<size_t>(size_t(dwSkip) + dwMaxFrames + kOwnFrames, kMaxWalk);
    std::vector<void*> raw(wanted);
    const int count = backtrace(raw.data(), static_cast<int>(wanted));
    const size_t walked = count > 0 ? static_cast<size_t>(count) : 0;
    const size_t first = FirstCallerFrame(raw, walked, callerReturn);
    std::vector<DWORD_PTR> frames;
    for (size_t i = first; i < walked; ++i)
        frames.push_back(reinterpret_cast<DWORD_PTR>(raw[i]));
    return CopyFrames(frames.data(), frames.size(), dwMaxFrames, lpFrames, dwSkip);
}
