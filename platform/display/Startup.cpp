// Starting the display: the presenter thread with its backend, and the
// automation listener when $ORVI_AUTOMATION asks for one. Kept apart from the
// drawing entry points so that a program that only draws into the screen
// (a test of GDI) does not pull the input side in.
#include <cstdlib>
#include <mutex>

#include "Presenter.h"
#include "internal.h"

namespace orvi::display {

void EnsureStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        Presenter::Instance().Start();
        if (const char* socketPath = std::getenv("ORVI_AUTOMATION"); socketPath && *socketPath)
            StartAutomation(socketPath);
    });
}

}  // namespace orvi::display
