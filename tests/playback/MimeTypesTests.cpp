// The media-type table behind playlist resolution.
#include <gtest/gtest.h>

#include <string>

#include "MimeTypes.h"

TEST(GetMimeKind, KnowsEveryListedTypeInAnyLetterCase) {
    const struct {
        const char16_t* type;
        int kind;
    } cases[] = {
        {u"audio/x-mpegurl", 1}, {u"audio/mpegurl", 1}, {u"asf", 2}, {u"video/x-ms-asf", 2},
        {u"audio/x-ms-wax", 2}, {u"video/x-ms-wvx", 2}, {u"audio/x-ms-asx", 2},
        {u"video/x-ms-asx", 2}, {u"audio/x-pn-windowsmedia", 2}, {u"text/plain", 2}, {u"pls", 3},
        {u"audio/x-scpls", 3}, {u"audio/vnd.rn-realaudio", 4}, {u"audio/x-pn-realaudio", 4},
        {u"application/ogg", 5}, {u"application/flv", 6}, {u"audio/aacp", 7}, {u"audio/aac", 8},
        {u"audio/mpeg", 9}};
    for (const auto& c : cases) {
        std::u16string upper(c.type);
        for (char16_t& ch : upper)
            ch = towupper(ch);
        EXPECT_EQ(c.kind, GetMimeKind(c.type));
        EXPECT_EQ(c.kind, GetMimeKind(upper.c_str()));
    }
    EXPECT_EQ(MIME_PLS, GetMimeKind(u"Audio/X-SCPLS"));
}

TEST(GetMimeKind, AnythingElseIsUnknown) {
    for (const char16_t* type : {u"", u"audio/mpeg; charset=utf-8", u"audio/mpeg3", u"audio/aa",
                                 u"text/html", u" audio/mpeg", u"m3u"})
        EXPECT_EQ(MIME_UNKNOWN, GetMimeKind(type)) << std::string(type, type + wcslen(type));
    EXPECT_EQ(MIME_UNKNOWN, GetMimeKind(nullptr));
}
