#include <gtest/gtest.h>

#include <string>

#include "Md5.h"

// Expected digests were computed outside this code base with coreutils, from
// the text's UTF-16LE bytes, e.g.
//   printf 'a\0' | md5sum
//   printf 'Zürich ♫' | iconv -f utf-8 -t utf-16le | md5sum

namespace {

std::u16string NameOf(const std::u16string& text) {
    WCHAR name[kMd5NameLength + 1];
    SetLastError(0);
    if (!Md5NameOfText(text.c_str(), name))
        return u"<failed>";
    return name;
}

}  // namespace

TEST(Md5NameOfText, SingleLetterHashesItsTwoByteCodeUnit) {
    // printf 'a\0' | md5sum
    EXPECT_EQ(NameOf(u"a"), u"4144e195f46de78a3623da7364d04f11");
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(Md5NameOfText, NonAsciiTextUsesUtf16LittleEndian) {
    // printf 'Zürich ♫' | iconv -f utf-8 -t utf-16le | md5sum
    EXPECT_EQ(NameOf(u"Zürich ♫"), u"34c343d62eb8bcfa296cb31a7fa5d5db");
    // U+1F3B5 as the surrogate pair 3C D8 B5 DF:
    // printf '🎵' | iconv -f utf-8 -t utf-16le | md5sum
    EXPECT_EQ(NameOf(u"\U0001F3B5"), u"f53fc157b1257b95dca4aa0efc5d8b8f");
}

TEST(Md5NameOfText, LongTextIsHashedWhole) {
    // printf 'x%.0s' $(seq 300) | iconv -f utf-8 -t utf-16le | md5sum
    EXPECT_EQ(NameOf(std::u16string(300, u'x')), u"87539aa1c07d1f5de5f071cbfb97a904");
}

TEST(Md5NameOfText, EmptyTextIsTheDigestOfNothing) {
    // RFC 1321, appendix A.5: MD5 ("") = d41d8cd98f00b204e9800998ecf8427e
    EXPECT_EQ(NameOf(u""), u"d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5NameOfText, NullTextFails) {
    WCHAR name[kMd5NameLength + 1] = u"x";
    SetLastError(0);
    EXPECT_FALSE(Md5NameOfText(nullptr, name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Md5OfText, WritesTheSixteenDigestBytes) {
    // printf 'a\0' | md5sum
    const BYTE expected[16] = {0x41, 0x44, 0xe1, 0x95, 0xf4, 0x6d, 0xe7, 0x8a,
                               0x36, 0x23, 0xda, 0x73, 0x64, 0xd0, 0x4f, 0x11};
    BYTE digest[16] = {};
    ASSERT_TRUE(Md5OfText(u"a", digest));
    EXPECT_EQ(0, memcmp(digest, expected, sizeof(expected)));
}

TEST(Md5FileNameOfText, AppendsTheExtension) {
    // printf 'http://example.com/a.m3u' | iconv -f utf-8 -t utf-16le | md5sum
    WCHAR name[kMd5NameLength + 5];
    ASSERT_TRUE(Md5FileNameOfText(u"http://example.com/a.m3u", u".m3u", name, std::size(name)));
    EXPECT_EQ(std::u16string(name), u"c08db07b260bd9b4b04b740739af2372.m3u");
}

TEST(Md5FileNameOfText, BufferOneShortFailsWithAnEmptyName) {
    WCHAR name[kMd5NameLength + 4];
    name[0] = u'x';
    SetLastError(0);
    EXPECT_FALSE(Md5FileNameOfText(u"a", u".m3u", name, std::size(name)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(name[0], 0);
    SetLastError(0);
    EXPECT_FALSE(Md5FileNameOfText(u"a", nullptr, name, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
