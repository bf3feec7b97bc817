// The commands of the automation socket, one line each:
//   key NAME          press and release a key: left right up down enter
//                     escape|back f1|softleft f2|softright backspace, a digit,
//                     a letter, or a virtual-key code (decimal or 0x hex)
//   tap X Y           stylus down and up at a screen point
//   down X Y | move X Y | up X Y   one stylus event each
//   text STRING       the rest of the line (UTF-8), each UTF-16 unit as WM_CHAR
//   screenshot PATH   the whole screen as PNG at a host path
//   wait-idle [MS]    waits (default 5000 ms) until every window thread is
//                     idle and the display has presented everything
// The reply is "ok" or "error <reason>".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wintypes.h"

namespace orvi::display {

std::string RunAutomationCommand(std::string_view line);
// The virtual key a `key` argument names; empty for an unknown name.
std::optional<UINT> VirtualKeyFromName(std::string_view name);

}  // namespace orvi::display
