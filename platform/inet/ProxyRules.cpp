#include "ProxyRules.h"

#include <vector>

#include "HeaderList.h"

namespace orvi::inet {
namespace {

std::vector<std::string_view> Tokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("; \t", pos);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > pos)
            tokens.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return tokens;
}

bool IsLoopback(std::string_view host) {
    return EqualsNoCase(host, "localhost") || host.rfind("127.", 0) == 0 || host == "::1" ||
           host == "[::1]";
}

// '*' matches any run of characters; case-insensitive.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
    if (pattern.empty())
        return text.empty();
    if (pattern.front() == '*') {
        for (size_t skip = 0; skip <= text.size(); ++skip) {
            if (WildcardMatch(pattern.substr(1), text.substr(skip)))
                return true;
        }
        return false;
    }
    return !text.empty() && EqualsNoCase(pattern.substr(0, 1), text.substr(0, 1)) &&
           WildcardMatch(pattern.substr(1), text.substr(1));
}

bool Bypassed(std::string_view bypass, std::string_view host) {
    for (std::string_view entry : Tokens(bypass)) {
        if (EqualsNoCase(entry, "<local>")) {
            if (host.find('.') == std::string_view::npos)
                return true;
        } else if (WildcardMatch(entry, host)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> ProxyForHost(const ProxySettings& settings, std::string_view host,
                                        bool secure) {
    switch (settings.accessType) {
    case INTERNET_OPEN_TYPE_DIRECT: return std::string();
    case INTERNET_OPEN_TYPE_PROXY: break;
    default:
        if (IsLoopback(host))
            return std::string();
        return std::nullopt;
    }
    if (Bypassed(settings.bypass, host))
        return std::string();
    std::string_view wanted = secure ? "https=" : "http=";
    std::string generic;
    for (std::string_view token : Tokens(settings.proxy)) {
        size_t equals = token.find('=');
        if (equals == std::string_view::npos) {
            generic = std::string(token);
        } else if (EqualsNoCase(token.substr(0, equals + 1), wanted)) {
            return std::string(token.substr(equals + 1));
        }
    }
    return generic;
}

}  // namespace orvi::inet
