#include "winmain.h"

#include <string>

#include "internal.h"
#include "moduleapi.h"
#include "winuser.h"

namespace {

std::u16string CommandLineFrom(int argc, char** argv) {
    std::u16string line;
    for (int i = 1; i < argc; ++i) {
        std::u16string arg = orvi::kernel::Utf8ToUtf16(argv[i]);
        if (!line.empty())
            line += u' ';
        bool quote = arg.empty() || arg.find(u' ') != std::u16string::npos;
        if (quote)
            line += u'"';
        line += arg;
        if (quote)
            line += u'"';
    }
    return line;
}

}  // namespace

int OrviRunWinMain(int argc, char** argv, ORVI_WINMAIN winMain) {
    std::u16string line = CommandLineFrom(argc, argv);
    return winMain(GetModuleHandleW(nullptr), nullptr, line.data(), SW_SHOW);
}
