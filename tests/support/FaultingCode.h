// Code that raises processor exceptions on purpose, for the tests of the
// exception guard and of the crash trace.
//
// The functions are kept out of line and out of the sanitizers' reach (which
// would report the bad access themselves), so that a fault is a plain
// processor exception inside the function's own code, within
// kFaultingFunctionBytes of its address.
#pragma once

#include <cstdint>

#define ORVI_FAULTING \
    __attribute__((noinline, noclone, no_sanitize("undefined"), no_sanitize_address, no_sanitize_thread))

namespace orvi::test {

// Generous: the faulting functions are a few instructions long.
constexpr uintptr_t kFaultingFunctionBytes = 512;

inline int* volatile g_nowhere = nullptr;

ORVI_FAULTING inline void WriteThroughNull() { *g_nowhere = 42; }
ORVI_FAULTING inline void ExecuteTrap() { __builtin_trap(); }

// True when address lies in the code of function.
template <class F>
bool Within(uintptr_t address, F* function) {
    const auto start = reinterpret_cast<uintptr_t>(function);
    return address >= start && address < start + kFaultingFunctionBytes;
}

}  // namespace orvi::test
