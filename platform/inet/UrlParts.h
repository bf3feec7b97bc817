// Splitting URLs into their parts and building the URL a request is sent to.
#pragma once

#include <string>
#include <string_view>

#include "wininet.h"

namespace orvi::inet {

class UrlParts {
public:
    // A part as a position and length inside the parsed URL.
    struct Span {
        size_t pos = 0;
        size_t len = 0;
    };

    // Returns 0 or ERROR_INTERNET_UNRECOGNIZED_SCHEME (no scheme, or one the
    // service does not know) / ERROR_INTERNET_INVALID_URL (bad port, no host).
    DWORD Parse(std::u16string_view url);

    INTERNET_SCHEME Scheme() const { return m_scheme; }
    INTERNET_PORT Port() const { return m_port; }
    // The text of a part; the host without the brackets of an IPv6 literal.
    std::u16string_view Text(const Span& span) const { return m_url.substr(span.pos, span.len); }

    Span scheme, host, user, password, path, extra;

private:
    DWORD ParseAuthority(size_t begin, size_t end);

    std::u16string_view m_url;
    INTERNET_SCHEME m_scheme = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT m_port = 0;
};

// UTF-8 request target: the text as given, except that blanks, control
// characters and non-ASCII characters are percent-encoded (UTF-8). A target
// that does not start with '/' gets one.
std::string EncodeRequestTarget(std::u16string_view target);
// "http[s]://[user[:password]@]host[:port]" + target; IPv6 hosts bracketed;
// the port is left out when it is the scheme's default.
std::string BuildRequestUrl(bool secure, std::string_view host, INTERNET_PORT port,
                            std::string_view user, std::string_view password,
                            std::string_view target);
// Percent-decodes a part (ICU_DECODE); invalid escapes stay as they are.
std::u16string DecodeUrlPart(std::u16string_view text);

}  // namespace orvi::inet
