// The media types a station's server may answer with, and what the program
// does with each: parse the body as a playlist (kinds 1 to 4) or play the
// address directly (kinds 5 to 9). Kind 0 is a type the program does not know.
#pragma once

#include "platform.h"

enum MimeKind : int {
    MIME_UNKNOWN = 0,
    MIME_M3U = 1,
    MIME_ASX = 2,
    MIME_PLS = 3,
    MIME_REAL = 4,
    MIME_OGG = 5,
    MIME_FLV = 6,
    MIME_AACP = 7,
    MIME_AAC = 8,
    MIME_MPEG = 9,
};

// The kind of a bare media type ("audio/x-scpls"), compared without regard to
// letter case. Parameters such as "; charset=..." must already be cut off by
// the caller. NULL and any type outside the table give MIME_UNKNOWN.
// Thread-safe.
MimeKind GetMimeKind(LPCWSTR pszMediaType);
