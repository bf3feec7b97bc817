// InternetCrackUrlW.
#include <cstring>

#include "UrlParts.h"
#include "internal.h"
#include "winerror.h"

using namespace orvi::inet;

namespace {

// Fills one part: into the caller's buffer (size in characters, the
// terminator included), or as a pointer into the URL. Returns 0 or
// ERROR_INSUFFICIENT_BUFFER (the size then holds what is needed).
DWORD FillPart(LPCWSTR url, const UrlParts& parts, const UrlParts::Span& span, bool decode,
               LPWSTR& buffer, DWORD& length) {
    if (length == 0)
        return 0;
    if (!buffer) {
        buffer = const_cast<LPWSTR>(url) + span.pos;
        length = static_cast<DWORD>(span.len);
        return 0;
    }
    std::u16string text(parts.Text(span));
    if (decode)
        text = DecodeUrlPart(text);
    if (length < text.size() + 1) {
        length = static_cast<DWORD>(text.size() + 1);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    length = static_cast<DWORD>(text.size());
    return 0;
}

}  // namespace

BOOL InternetCrackUrlW(LPCWSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                       LPURL_COMPONENTSW lpUrlComponents) {
    if (!lpszUrl || !lpUrlComponents || lpUrlComponents->dwStructSize != sizeof(URL_COMPONENTSW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view url = dwUrlLength ? std::u16string_view(lpszUrl, dwUrlLength)
                                          : std::u16string_view(lpszUrl);
    UrlParts parts;
    if (DWORD error = parts.Parse(url)) {
        SetLastError(error);
        return FALSE;
    }
    URL_COMPONENTSW& c = *lpUrlComponents;
    bool decode = dwFlags & ICU_DECODE;
    UrlParts::Span path = parts.path;
    if (c.dwExtraInfoLength == 0)
        path.len += parts.extra.len;  // the extra information stays in the path
    DWORD error = 0;
    auto fill = [&](const UrlParts::Span& span, bool decodePart, LPWSTR& buffer, DWORD& length) {
        DWORD result = FillPart(lpszUrl, parts, span, decodePart, buffer, length);
        error = error ? error : result;
    };
    fill(parts.scheme, false, c.lpszScheme, c.dwSchemeLength);
    fill(parts.host, decode, c.lpszHostName, c.dwHostNameLength);
    fill(parts.user, decode, c.lpszUserName, c.dwUserNameLength);
    fill(parts.password, decode, c.lpszPassword, c.dwPasswordLength);
    fill(path, decode, c.lpszUrlPath, c.dwUrlPathLength);
    fill(parts.extra, decode, c.lpszExtraInfo, c.dwExtraInfoLength);
    c.nScheme = parts.Scheme();
    c.nPort = parts.Port();
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
