// Splitting URLs with InternetCrackUrlW.
#include <gtest/gtest.h>

#include "InetTestSupport.h"

namespace {

struct Cracked {
    WCHAR scheme[16], host[64], user[16], password[16], path[128], extra[64];
    URL_COMPONENTSW parts{};
    Cracked(bool wantExtra = true) {
        parts.dwStructSize = sizeof parts;
        parts.lpszScheme = scheme;
        parts.dwSchemeLength = 16;
        parts.lpszHostName = host;
        parts.dwHostNameLength = 64;
        parts.lpszUserName = user;
        parts.dwUserNameLength = 16;
        parts.lpszPassword = password;
        parts.dwPasswordLength = 16;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = 128;
        parts.lpszExtraInfo = wantExtra ? extra : nullptr;
        parts.dwExtraInfoLength = wantExtra ? 64 : 0;
    }
};

}  // namespace

TEST(InternetCrackUrlW, SplitsEveryPart) {
    Cracked c;
    ASSERT_TRUE(InternetCrackUrlW(u"HTTP://me:pw@Example.com:8080/a/b.pls?x=1#top", 0, 0, &c.parts));
    EXPECT_EQ(std::u16string(c.scheme), u"HTTP");
    EXPECT_EQ(c.parts.nScheme, INTERNET_SCHEME_HTTP);
    EXPECT_EQ(std::u16string(c.host), u"Example.com");
    EXPECT_EQ(c.parts.dwHostNameLength, 11u);
    EXPECT_EQ(c.parts.nPort, 8080);
    EXPECT_EQ(std::u16string(c.user), u"me");
    EXPECT_EQ(std::u16string(c.password), u"pw");
    EXPECT_EQ(std::u16string(c.path), u"/a/b.pls");
    EXPECT_EQ(std::u16string(c.extra), u"?x=1#top");

    // Without extra information wanted, the query stays in the path.
    Cracked noExtra(false);
    ASSERT_TRUE(InternetCrackUrlW(u"https://host/dir/list.xml?page=2", 0, 0, &noExtra.parts));
    EXPECT_EQ(std::u16string(noExtra.path), u"/dir/list.xml?page=2");
    EXPECT_EQ(noExtra.parts.nScheme, INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(noExtra.parts.nPort, 443);
    EXPECT_EQ(std::u16string(noExtra.user), u"");

    Cracked decoded;
    ASSERT_TRUE(InternetCrackUrlW(u"http://[::1]/a%20b", 0, ICU_DECODE, &decoded.parts));
    EXPECT_EQ(std::u16string(decoded.host), u"::1");
    EXPECT_EQ(decoded.parts.nPort, 80);
    EXPECT_EQ(std::u16string(decoded.path), u"/a b");
}

TEST(InternetCrackUrlW, PointsIntoTheUrlWhenNoBufferIsGiven) {
    const char16_t* url = u"http://host:81/path";
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    ASSERT_TRUE(InternetCrackUrlW(url, 0, 0, &parts));
    EXPECT_EQ(parts.lpszHostName, url + 7);
    EXPECT_EQ(parts.dwHostNameLength, 4u);
    EXPECT_EQ(parts.lpszUrlPath, url + 14);
    EXPECT_EQ(parts.dwUrlPathLength, 5u);
    EXPECT_EQ(parts.lpszScheme, nullptr);
    EXPECT_EQ(parts.nPort, 81);
}

TEST(InternetCrackUrlW, RejectsWhatItCannotSplit) {
    Cracked c;
    EXPECT_FALSE(InternetCrackUrlW(u"relative/path", 0, 0, &c.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    EXPECT_FALSE(InternetCrackUrlW(u"rtspx://host/", 0, 0, &c.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
    EXPECT_FALSE(InternetCrackUrlW(u"http://host:80x/", 0, 0, &c.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INVALID_URL));
    EXPECT_FALSE(InternetCrackUrlW(u"http:///nohost", 0, 0, &c.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNET_INVALID_URL));

    Cracked small;
    small.parts.dwHostNameLength = 4;
    EXPECT_FALSE(InternetCrackUrlW(u"http://longhost/", 0, 0, &small.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small.parts.dwHostNameLength, 9u);

    c.parts.dwStructSize = 4;
    EXPECT_FALSE(InternetCrackUrlW(u"http://host/", 0, 0, &c.parts));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}
