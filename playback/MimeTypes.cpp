#include "MimeTypes.h"

namespace {

struct MimeType {
    LPCWSTR pszType;
    MimeKind kind;
};

// "asf" and "pls" are the program's own short names, not registered types;
// the resolver assumes "asf" for a short body served without a Content-Type.
constexpr MimeType s_mimeTypes[] = {
    {u"audio/x-mpegurl", MIME_M3U},
    {u"audio/mpegurl", MIME_M3U},
    {u"asf", MIME_ASX},
    {u"video/x-ms-asf", MIME_ASX},
    {u"audio/x-ms-wax", MIME_ASX},
    {u"video/x-ms-wvx", MIME_ASX},
    {u"audio/x-ms-asx", MIME_ASX},
    {u"video/x-ms-asx", MIME_ASX},
    {u"audio/x-pn-windowsmedia", MIME_ASX},
    {u"text/plain", MIME_ASX},
    {u"pls", MIME_PLS},
    {u"audio/x-scpls", MIME_PLS},
    {u"audio/vnd.rn-realaudio", MIME_REAL},
    {u"audio/x-pn-realaudio", MIME_REAL},
    {u"application/ogg", MIME_OGG},
    {u"application/flv", MIME_FLV},
    {u"audio/aacp", MIME_AACP},
    {u"audio/aac", MIME_AAC},
    {u"audio/mpeg", MIME_MPEG},
};

}  // namespace

MimeKind GetMimeKind(LPCWSTR pszMediaType) {
    if (!pszMediaType)
        return MIME_UNKNOWN;
    for (const MimeType& type : s_mimeTypes) {
        if (_wcsicmp(pszMediaType, type.pszType) == 0)
            return type.kind;
    }
    return MIME_UNKNOWN;
}
