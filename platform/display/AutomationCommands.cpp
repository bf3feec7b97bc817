#include "AutomationCommands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <thread>

#include "Presenter.h"
#include "internal.h"
#include "kernel/internal.h"
#include "user/Input.h"
#include "winuser.h"

namespace orvi::display {

namespace {

constexpr int kDefaultIdleTimeoutMs = 5000;
// Idle must hold across two looks this far apart: a thread that was just
// handed input may not have woken up yet at the first look.
constexpr auto kIdleRecheck = std::chrono::milliseconds(5);

struct NamedKey {
    std::string_view name;
    UINT vk;
};

constexpr NamedKey kNamedKeys[] = {
    {"left", VK_LEFT},      {"right", VK_RIGHT},      {"up", VK_UP},
    {"down", VK_DOWN},      {"enter", VK_RETURN},     {"escape", VK_ESCAPE},
    {"back", VK_ESCAPE},    {"f1", VK_F1},            {"softleft", VK_F1},
    {"f2", VK_F2},          {"softright", VK_F2},     {"backspace", VK_BACK},
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<long> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Splits off the first space-separated word of `rest`.
std::string_view NextWord(std::string_view& rest) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const size_t end = std::min(rest.find(' '), rest.size());
    std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

std::optional<POINT> ParsePoint(std::string_view args) {
    auto x = ParseNumber(NextWord(args));
    auto y = ParseNumber(NextWord(args));
    if (!x || !y || !NextWord(args).empty())
        return std::nullopt;
    if (*x < 0 || *y < 0 || *x >= Geometry().width || *y >= Geometry().height)
        return std::nullopt;
    return POINT{static_cast<LONG>(*x), static_cast<LONG>(*y)};
}

std::string Key(std::string_view args) {
    std::string_view name = NextWord(args);
    if (name.empty() || !NextWord(args).empty())
        return "error usage: key NAME";
    auto vk = VirtualKeyFromName(name);
    if (!vk)
        return "error unknown key";
    user::InjectKey(*vk, true);
    user::InjectKey(*vk, false);
    return "ok";
}

std::string Stylus(std::string_view command, std::string_view args) {
    auto point = ParsePoint(args);
    if (!point)
        return "error usage: " + std::string(command) + " X Y (a point on the screen)";
    if (command == "tap" || command == "down")
        user::InjectMouse(WM_LBUTTONDOWN, *point);
    if (command == "move")
        user::InjectMouse(WM_MOUSEMOVE, *point);
    if (command == "tap" || command == "up")
        user::InjectMouse(WM_LBUTTONUP, *point);
    return "ok";
}

std::string Text(std::string_view text) {
    if (text.empty())
        return "error usage: text STRING";
    for (char16_t unit : kernel::Utf8ToUtf16(text))
        user::InjectChar(unit);
    return "ok";
}

std::string Screenshot(std::string_view path) {
    if (path.empty())
        return "error usage: screenshot PATH";
    DWORD error = 0;
    if (!WriteScreenshot(std::string(path), &error))
        return "error cannot write " + std::string(path) + " (" + std::to_string(error) + ")";
    return "ok";
}

bool EverythingIdle() {
    return user::AllWindowThreadsIdle() && Presenter::Instance().Idle();
}

std::string WaitIdle(std::string_view args) {
    long timeoutMs = kDefaultIdleTimeoutMs;
    if (std::string_view word = NextWord(args); !word.empty()) {
        auto parsed = ParseNumber(word);
        if (!parsed || *parsed < 0 || !NextWord(args).empty())
            return "error usage: wait-idle [TIMEOUT_MS]";
        timeoutMs = *parsed;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (EverythingIdle()) {
            std::this_thread::sleep_for(kIdleRecheck);
            if (EverythingIdle())
                return "ok";
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return "error timeout";
        std::this_thread::sleep_for(kIdleRecheck);
    }
}

}  // namespace

std::optional<UINT> VirtualKeyFromName(std::string_view name) {
    const std::string lower = Lower(name);
    for (const NamedKey& key : kNamedKeys)
        if (key.name == lower)
            return key.vk;
    if (lower.size() == 1 && std::isdigit(static_cast<unsigned char>(lower[0])))
        return static_cast<UINT>(lower[0]);
    if (lower.size() == 1 && lower[0] >= 'a' && lower[0] <= 'z')
        return static_cast<UINT>(lower[0] - 'a' + 'A');
    if (auto code = ParseNumber(lower); code && *code > 0 && *code < 256)
        return static_cast<UINT>(*code);
    return std::nullopt;
}

std::string RunAutomationCommand(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::string_view rest = line;
    const std::string_view command = NextWord(rest);
    // Text and paths keep their spaces: everything after the one separator.
    const std::string_view tail = rest.empty() ? rest : rest.substr(1);
    if (command == "key")
        return Key(rest);
    if (command == "tap" || command == "down" || command == "move" || command == "up")
        return Stylus(command, rest);
    if (command == "text")
        return Text(tail);
    if (command == "screenshot")
        return Screenshot(tail);
    if (command == "wait-idle")
        return WaitIdle(rest);
    return "error unknown command";
}

}  // namespace orvi::display
