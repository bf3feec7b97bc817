#include "UrlParts.h"

#include "kernel/internal.h"
#include "winerror.h"

namespace orvi::inet {
namespace {

struct SchemeInfo {
    std::u16string_view name;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
    bool hierarchical;  // "scheme://authority/path"
};

constexpr SchemeInfo kSchemes[] = {
    {u"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT, true},
    {u"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT, true},
    {u"ftp", INTERNET_SCHEME_FTP, INTERNET_DEFAULT_FTP_PORT, true},
    {u"gopher", INTERNET_SCHEME_GOPHER, 70, true},
    {u"file", INTERNET_SCHEME_FILE, 0, true},
    {u"news", INTERNET_SCHEME_NEWS, 0, false},
    {u"mailto", INTERNET_SCHEME_MAILTO, 0, false},
};

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

const SchemeInfo* FindScheme(std::u16string_view name) {
    for (const SchemeInfo& info : kSchemes) {
        if (info.name.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = Lower(name[i]) == info.name[i];
        if (same)
            return &info;
    }
    return nullptr;
}

bool IsSchemeChar(char16_t c, bool first) {
    bool alpha = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (first)
        return alpha;
    return alpha || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    c = Lower(c);
    return (c >= u'a' && c <= u'f') ? c - u'a' + 10 : -1;
}

}  // namespace

DWORD UrlParts::Parse(std::u16string_view url) {
    *this = UrlParts();
    m_url = url;
    size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos || colon == 0)
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    for (size_t i = 0; i < colon; ++i) {
        if (!IsSchemeChar(url[i], i == 0))
            return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    }
    const SchemeInfo* info = FindScheme(url.substr(0, colon));
    if (!info)
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    m_scheme = info->scheme;
    m_port = info->port;
    scheme = {0, colon};
    size_t rest = colon + 1;
    if (info->hierarchical) {
        if (url.substr(rest, 2) != u"//")
            return ERROR_INTERNET_INVALID_URL;
        rest += 2;
        size_t end = url.find_first_of(u"/?#", rest);
        if (end == std::u16string_view::npos)
            end = url.size();
        if (DWORD error = ParseAuthority(rest, end))
            return error;
        rest = end;
    }
    size_t extraPos = url.find_first_of(u"?#", rest);
    if (extraPos == std::u16string_view::npos)
        extraPos = url.size();
    path = {rest, extraPos - rest};
    extra = {extraPos, url.size() - extraPos};
    return 0;
}

DWORD UrlParts::ParseAuthority(size_t begin, size_t end) {
    std::u16string_view authority = m_url.substr(begin, end - begin);
    size_t at = authority.rfind(u'@');
    size_t hostBegin = begin;
    if (at != std::u16string_view::npos) {
        std::u16string_view info = authority.substr(0, at);
        size_t colon = info.find(u':');
        user = {begin, std::min(colon, info.size())};
        if (colon != std::u16string_view::npos)
            password = {begin + colon + 1, info.size() - colon - 1};
        hostBegin = begin + at + 1;
    }
    size_t portColon = std::u16string_view::npos;
    if (hostBegin < end && m_url[hostBegin] == u'[') {
        size_t close = m_url.find(u']', hostBegin);
        if (close == std::u16string_view::npos || close >= end)
            return ERROR_INTERNET_INVALID_URL;
        host = {hostBegin + 1, close - hostBegin - 1};
        if (close + 1 < end) {
            if (m_url[close + 1] != u':')
                return ERROR_INTERNET_INVALID_URL;
            portColon = close + 1;
        }
    } else {
        size_t colon = m_url.find(u':', hostBegin);
        portColon = (colon != std::u16string_view::npos && colon < end) ? colon : portColon;
        host = {hostBegin, (portColon == std::u16string_view::npos ? end : portColon) - hostBegin};
    }
    if (portColon != std::u16string_view::npos && portColon + 1 < end) {
        unsigned long port = 0;
        for (size_t i = portColon + 1; i < end; ++i) {
            if (m_url[i] < u'0' || m_url[i] > u'9' || (port = port * 10 + (m_url[i] - u'0')) > 65535)
                return ERROR_INTERNET_INVALID_URL;
        }
        m_port = static_cast<INTERNET_PORT>(port);
    }
    if (host.len == 0 && m_scheme != INTERNET_SCHEME_FILE)
        return ERROR_INTERNET_INVALID_URL;
    return 0;
}

std::string EncodeRequestTarget(std::u16string_view target) {
    std::string utf8 = kernel::Utf16ToUtf8(target);
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size() + 1);
    if (utf8.empty() || (utf8[0] != '/' && utf8[0] != '*'))
        encoded += '/';
    for (unsigned char c : utf8) {
        if (c <= 0x20 || c >= 0x7F) {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        } else {
            encoded += static_cast<char>(c);
        }
    }
    return encoded;
}

std::string BuildRequestUrl(bool secure, std::string_view host, INTERNET_PORT port,
                            std::string_view user, std::string_view password,
                            std::string_view target) {
    std::string url = secure ? "https://" : "http://";
    if (!user.empty()) {
        url += user;
        if (!password.empty())
            url.append(":").append(password);
        url += '@';
    }
    bool ipv6 = host.find(':') != std::string_view::npos && host.front() != '[';
    url += ipv6 ? "[" + std::string(host) + "]" : std::string(host);
    INTERNET_PORT defaultPort = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    if (port != INTERNET_INVALID_PORT_NUMBER && port != defaultPort)
        url += ":" + std::to_string(port);
    url += target;
    return url;
}

std::u16string DecodeUrlPart(std::u16string_view text) {
    // '%' and hex digits are ASCII, so decoding the UTF-8 form keeps every
    // other character (surrogate pairs included) intact.
    std::string utf8 = kernel::Utf16ToUtf8(text);
    std::string bytes;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '%' && i + 2 < utf8.size() && HexValue(char16_t(utf8[i + 1])) >= 0 &&
            HexValue(char16_t(utf8[i + 2])) >= 0) {
            bytes += static_cast<char>(HexValue(char16_t(utf8[i + 1])) * 16 +
                                       HexValue(char16_t(utf8[i + 2])));
            i += 2;
        } else {
            bytes += utf8[i];
        }
    }
    return kernel::Utf8ToUtf16(bytes);
}

}  // namespace orvi::inet
