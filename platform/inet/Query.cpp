// HttpQueryInfo: header values, numbers and dates of a response (or of the
// request headers the caller set).
#include <cstdlib>
#include <ctime>

#include <curl/curl.h>

#include "internal.h"
#include "winerror.h"

namespace orvi::inet {
namespace {

struct NamedQuery {
    DWORD query;
    const char* name;
};

constexpr NamedQuery kHeaderNames[] = {
    {HTTP_QUERY_CONTENT_TYPE, "Content-Type"},
    {HTTP_QUERY_CONTENT_LENGTH, "Content-Length"},
    {HTTP_QUERY_CONTENT_LANGUAGE, "Content-Language"},
    {HTTP_QUERY_DATE, "Date"},
    {HTTP_QUERY_EXPIRES, "Expires"},
    {HTTP_QUERY_LAST_MODIFIED, "Last-Modified"},
    {HTTP_QUERY_PRAGMA, "Pragma"},
    {HTTP_QUERY_CONNECTION, "Connection"},
    {HTTP_QUERY_CONTENT_ENCODING, "Content-Encoding"},
    {HTTP_QUERY_LOCATION, "Location"},
    {HTTP_QUERY_SERVER, "Server"},
    {HTTP_QUERY_USER_AGENT, "User-Agent"},
    {HTTP_QUERY_WWW_AUTHENTICATE, "WWW-Authenticate"},
    {HTTP_QUERY_PROXY_AUTHENTICATE, "Proxy-Authenticate"},
    {HTTP_QUERY_ACCEPT_RANGES, "Accept-Ranges"},
    {HTTP_QUERY_SET_COOKIE, "Set-Cookie"},
    {HTTP_QUERY_CONTENT_DISPOSITION, "Content-Disposition"},
    {HTTP_QUERY_CACHE_CONTROL, "Cache-Control"},
    {HTTP_QUERY_CONTENT_RANGE, "Content-Range"},
    {HTTP_QUERY_ETAG, "ETag"},
    {HTTP_QUERY_RANGE, "Range"},
    {HTTP_QUERY_TRANSFER_ENCODING, "Transfer-Encoding"},
};

const char* HeaderName(DWORD query) {
    for (const NamedQuery& entry : kHeaderNames) {
        if (entry.query == query)
            return entry.name;
    }
    return nullptr;
}

// The status line's parts: "HTTP/1.1 404 Not Found" -> version, text.
std::string StatusLinePart(const std::string& line, int part) {
    size_t first = line.find(' ');
    if (part == 0)
        return line.substr(0, first);
    if (first == std::string::npos)
        return {};
    size_t second = line.find(' ', first + 1);
    return second == std::string::npos ? std::string() : line.substr(second + 1);
}

DWORD ToNumber(const std::string& text, DWORD& number) {
    const char* begin = text.c_str();
    while (*begin == ' ')
        ++begin;
    if (*begin < '0' || *begin > '9')
        return ERROR_HTTP_INVALID_HEADER;
    number = static_cast<DWORD>(std::strtoull(begin, nullptr, 10));
    return 0;
}

DWORD ToSystemTime(const std::string& text, SYSTEMTIME& time) {
    time_t when = curl_getdate(text.c_str(), nullptr);
    std::tm parts{};
    if (when == -1 || !gmtime_r(&when, &parts))
        return ERROR_HTTP_INVALID_HEADER;
    time = SYSTEMTIME{static_cast<WORD>(parts.tm_year + 1900), static_cast<WORD>(parts.tm_mon + 1),
                      static_cast<WORD>(parts.tm_wday),        static_cast<WORD>(parts.tm_mday),
                      static_cast<WORD>(parts.tm_hour),        static_cast<WORD>(parts.tm_min),
                      static_cast<WORD>(parts.tm_sec),         0};
    return 0;
}

DWORD QueryText(const InetRequest& request, DWORD query, bool ofRequest, std::string_view custom,
                DWORD index, std::string& text) {
    const HeaderList& list = ofRequest ? request.requestHeaders : request.response;
    switch (query) {
    case HTTP_QUERY_STATUS_CODE:
        if (ofRequest)
            return ERROR_HTTP_INVALID_QUERY_REQUEST;
        text = std::to_string(request.statusCode);
        return 0;
    case HTTP_QUERY_STATUS_TEXT:
    case HTTP_QUERY_VERSION:
        if (ofRequest)
            return ERROR_HTTP_INVALID_QUERY_REQUEST;
        text = StatusLinePart(list.StatusLine(), query == HTTP_QUERY_VERSION ? 0 : 2);
        return 0;
    case HTTP_QUERY_RAW_HEADERS_CRLF: text = list.RawCrlf(); return 0;
    case HTTP_QUERY_RAW_HEADERS: text = list.RawNul(); return 0;
    default: break;
    }
    std::string name = query == HTTP_QUERY_CUSTOM ? std::string(custom)
                                                  : std::string(HeaderName(query) ? HeaderName(query) : "");
    if (name.empty())
        return query == HTTP_QUERY_CUSTOM ? ERROR_HTTP_HEADER_NOT_FOUND : ERROR_HTTP_INVALID_QUERY_REQUEST;
    return list.Find(name, index, text) ? 0 : ERROR_HTTP_HEADER_NOT_FOUND;
}

}  // namespace

DWORD QueryInfo(const InetRequest& request, DWORD level, std::string_view custom, DWORD index,
                QueryResult& result) {
    DWORD query = level & HTTP_QUERY_HEADER_MASK;
    bool ofRequest = level & HTTP_QUERY_FLAG_REQUEST_HEADERS;
    if (!ofRequest && request.statusCode == 0)
        return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    std::string text;
    if (DWORD error = QueryText(request, query, ofRequest, custom, index, text))
        return error;
    if (level & HTTP_QUERY_FLAG_NUMBER) {
        result.type = QueryResult::Type::Number;
        return ToNumber(text, result.number);
    }
    if (level & HTTP_QUERY_FLAG_SYSTEMTIME) {
        result.type = QueryResult::Type::Time;
        return ToSystemTime(text, result.time);
    }
    result.type = QueryResult::Type::Text;
    result.text = std::move(text);
    return 0;
}

}  // namespace orvi::inet
