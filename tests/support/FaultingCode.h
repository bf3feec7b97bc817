// Code that raises processor exceptions on purpose, for the tests of the
// exception guard and of the crash trace. Kept out of line and out of the
// sanitizers' reach (which would report the bad access themselves), so that
// a fault is a plain processor exception inside the function's own code.
#pragma once

#include <cstdint>

#define ORVI_FAULTING \
    __attribute__((noinline, noclone, no_sanitize("undefined"), no_sanitize_address, no_sanitize_thread))

namespace orvi::test {

inline int* volatile g_nowhere = nullptr;

ORVI_FAULTING inline void WriteThroughNull() { *g_nowhere = 42; }
ORVI_FAULTING inline void ExecuteTrap() { __builtin_trap(); }

// True when address lies in the code of function, which is a few
// instructions long: 512 bytes are generous.
template <class F>
bool Within(uintptr_t address, F* function) {
    return address - reinterpret_cast<uintptr_t>(function) < 512;
}

}  // namespace orvi::test
