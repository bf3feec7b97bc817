// MultiByteToWideChar / WideCharToMultiByte: Windows-1252, UTF-8, GBK and
// Big5, the size and buffer rules, and the last-error codes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace {

constexpr DWORD kUntouched = 0xE0E0E0E0;

// Converts the whole of bytes (explicit length, no terminator). Fails the
// test on an unexpected error.
std::u16string ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    int size = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                   nullptr, 0);
    EXPECT_GT(size, 0) << "error " << GetLastError();
    std::u16string text(static_cast<size_t>(size), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                  text.data(), size),
              size);
    return text;
}

std::string ToBytes(UINT codePage, const std::u16string& text, BOOL* usedDefault = nullptr,
                    LPCSTR defaultChar = nullptr) {
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, defaultChar, usedDefault);
    EXPECT_GT(size, 0) << "error " << GetLastError();
    std::string bytes(static_cast<size_t>(size), '\0');
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                  bytes.data(), size, defaultChar, usedDefault),
              size);
    return bytes;
}

// Expects a failed conversion with the given last error.
void ExpectMbFailure(UINT codePage, DWORD flags, LPCSTR in, int inCount, LPWSTR out, int outCount,
                     DWORD error) {
    SetLastError(kUntouched);
    EXPECT_EQ(MultiByteToWideChar(codePage, flags, in, inCount, out, outCount), 0);
    EXPECT_EQ(GetLastError(), error);
}

}  // namespace

// ---- Chinese code pages ----------------------------------------------------------------
TEST(MultiByteToWideChar, GbkAndBig5) {
    SetLastError(kUntouched);
    EXPECT_EQ(ToWide(936, "\xD6\xD0\xCE\xC4"), u"\u4E2D\u6587");        // 中文
    EXPECT_EQ(ToWide(936, "\xD6\xD0\xB9\xFA ok"), u"\u4E2D\u56FD ok");  // 中国
    EXPECT_EQ(ToWide(936, "\x80"), u"\u20AC");
    EXPECT_EQ(ToWide(950, "\xA4\xA4\xA4\xE5"), u"\u4E2D\u6587");
    EXPECT_EQ(ToWide(950, "abc"), u"abc");
    EXPECT_EQ(GetLastError(), kUntouched);
}

TEST(WideCharToMultiByte, GbkAndBig5RoundTrip) {
    const std::u16string text = u"\u4E2D\u6587 mix 123";
    BOOL usedDefault = TRUE;
    EXPECT_EQ(ToBytes(936, text, &usedDefault), "\xD6\xD0\xCE\xC4 mix 123");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(ToBytes(950, text, &usedDefault), "\xA4\xA4\xA4\xE5 mix 123");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(ToWide(936, ToBytes(936, text)), text);
    EXPECT_EQ(ToWide(950, ToBytes(950, text)), text);
}

TEST(WideCharToMultiByte, UnmappableUsesDefaultChar) {
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToBytes(936, u"a\u0E01b", &usedDefault), "a?b");  // Thai has no GBK form
    EXPECT_TRUE(usedDefault);
    usedDefault = FALSE;
    EXPECT_EQ(ToBytes(950, u"\u0E01\u4E2D", &usedDefault, "*"), "*\xA4\xA4");
    EXPECT_TRUE(usedDefault);
    usedDefault = FALSE;
    EXPECT_EQ(ToBytes(936, u"\U0001F600!", &usedDefault), "?!");  // one per code point
    EXPECT_TRUE(usedDefault);
}

TEST(MultiByteToWideChar, InvalidDoubleByteSequences) {
    EXPECT_EQ(ToWide(936, "a\xD6"), u"a\uFFFD");  // lead byte without trail
    EXPECT_EQ(ToWide(936,
                     "\xFF"
                     "b"),
              u"\uFFFDb");
    WCHAR out[8];
    ExpectMbFailure(936, MB_ERR_INVALID_CHARS, "a\xD6", 2, out, 8, ERROR_NO_UNICODE_TRANSLATION);
    ExpectMbFailure(950, MB_ERR_INVALID_CHARS, "\xA4", -1, out, 8, ERROR_NO_UNICODE_TRANSLATION);
}

// ---- Windows-1252 ----------------------------------------------------------------------------
TEST(MultiByteToWideChar, Windows1252) {
    EXPECT_EQ(ToWide(1252, "\x80"), u"\u20AC");
    EXPECT_EQ(ToWide(1252, "\x9F\x93\x94\x99"), u"\u0178\u201C\u201D\u2122");
    EXPECT_EQ(ToWide(CP_ACP, "caf\xE9 \xA0\xFF"), u"caf\u00E9 \u00A0\u00FF");
    // The five unassigned bytes become the C1 controls of the same value.
    EXPECT_EQ(ToWide(1252, "\x81\x8D\x8F\x90\x9D", MB_ERR_INVALID_CHARS),
              u"\u0081\u008D\u008F\u0090\u009D");
}

TEST(WideCharToMultiByte, Windows1252) {
    BOOL usedDefault = TRUE;
    EXPECT_EQ(ToBytes(CP_ACP, u"\u20AC caf\u00E9 \u0152\u0081", &usedDefault),
              "\x80 caf\xE9 \x8C\x81");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(ToBytes(1252, u"x\u4E2Dy\u0100", &usedDefault), "x?y?");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(ToBytes(1252, u"\u0080", &usedDefault, "#"), "#");
}

// ---- UTF-8
// -----------------------------------------------------------------------------------------
TEST(MultiByteToWideChar, Utf8) {
    EXPECT_EQ(ToWide(CP_UTF8, "h\xC3\xA9llo"), u"h\u00E9llo");
    EXPECT_EQ(ToWide(CP_UTF8, "\xE4\xB8\xAD"), u"\u4E2D");
    EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(ToWide(CP_UTF8, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(MultiByteToWideChar, InvalidUtf8) {
    // One U+FFFD per maximal invalid part.
    EXPECT_EQ(ToWide(CP_UTF8, "\xC3\x28"), u"\uFFFD(");
    EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong '/'
    EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // a surrogate
    EXPECT_EQ(ToWide(CP_UTF8, "x\xE4\xB8"), u"x\uFFFD");                          // cut short
    EXPECT_EQ(ToWide(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
    WCHAR out[8];
    for (const char* bad : {"\xC3\x28", "\xC0\xAF", "\xED\xA0\x80", "x\xE4\xB8", "\xFE"})
        ExpectMbFailure(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, out, 8,
                        ERROR_NO_UNICODE_TRANSLATION);
}

TEST(WideCharToMultiByte, Utf8) {
    EXPECT_EQ(ToBytes(CP_UTF8, u"\u4E2D\u00E9a"),
              "\xE4\xB8\xAD\xC3\xA9"
              "a");
    EXPECT_EQ(ToBytes(CP_UTF8, u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ToBytes(CP_UTF8, u"\xD800x"), "\xEF\xBF\xBDx");  // unpaired surrogate
    char out[8];
    SetLastError(kUntouched);
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xDC00", 1, out, 8, nullptr, nullptr),
        0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    BOOL used = FALSE;
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// ---- sizes and buffers
// ---------------------------------------------------------------------------
TEST(MultiByteToWideChar, TerminatedInputCountsTerminator) {
    SetLastError(kUntouched);
    EXPECT_EQ(MultiByteToWideChar(936, 0, "\xD6\xD0\xCE\xC4", -1, nullptr, 0), 3);
    WCHAR out[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(MultiByteToWideChar(936, 0, "\xD6\xD0\xCE\xC4", -1, out, 4), 3);
    EXPECT_EQ(std::u16string(out, 4), std::u16string(u"\u4E2D\u6587\0#", 4));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, out, 4), 3);  // no terminator added
    EXPECT_EQ(out[3], u'#');
    EXPECT_EQ(GetLastError(), kUntouched);
}

TEST(MultiByteToWideChar, BufferTooSmall) {
    WCHAR out[3] = {u'#', u'#', u'#'};
    ExpectMbFailure(CP_UTF8, 0, "abcd", -1, out, 3, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(out, 3), u"###");
}

TEST(WideCharToMultiByte, SizeQueryAndBufferTooSmall) {
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(936, 0, u"\u4E2Dx", -1, nullptr, 0, nullptr, nullptr), 4);
    char out[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(WideCharToMultiByte(936, 0, u"\u4E2Dx", -1, out, 4, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(out, 4), std::string("\xD6\xD0x\0", 4));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(WideCharToMultiByte(936, 0, u"\u4E2Dx", -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(MultiByteToWideChar, InvalidParameters) {
    WCHAR out[8];
    ExpectMbFailure(CP_UTF8, 0, nullptr, 3, out, 8, ERROR_INVALID_PARAMETER);
    ExpectMbFailure(CP_UTF8, 0, "abc", 0, out, 8, ERROR_INVALID_PARAMETER);
    ExpectMbFailure(CP_UTF8, 0, "abc", -2, out, 8, ERROR_INVALID_PARAMETER);
    ExpectMbFailure(CP_UTF8, 0, "abc", 3, nullptr, 8, ERROR_INVALID_PARAMETER);
    ExpectMbFailure(CP_UTF8, 0, "abc", 3, out, -1, ERROR_INVALID_PARAMETER);
    ExpectMbFailure(12345, 0, "abc", 3, out, 8, ERROR_INVALID_PARAMETER);
    char same[8] = "abc";
    ExpectMbFailure(1252, 0, same, 3, reinterpret_cast<LPWSTR>(same), 2, ERROR_INVALID_PARAMETER);
}

TEST(MultiByteToWideChar, InvalidFlags) {
    WCHAR out[8];
    ExpectMbFailure(CP_UTF8, MB_PRECOMPOSED, "abc", 3, out, 8, ERROR_INVALID_FLAGS);
    ExpectMbFailure(1252, MB_COMPOSITE, "abc", 3, out, 8, ERROR_INVALID_FLAGS);
    ExpectMbFailure(936, 0x100, "abc", 3, out, 8, ERROR_INVALID_FLAGS);
    SetLastError(kUntouched);
    EXPECT_EQ(MultiByteToWideChar(1252, MB_PRECOMPOSED, "abc", 3, out, 8), 3);
    EXPECT_EQ(GetLastError(), kUntouched);
}

TEST(WideCharToMultiByte, InvalidParametersAndFlags) {
    char out[8];
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, nullptr, 3, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(1252, 0, u"abc", 0, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(437, 0, u"abc", 3, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"abc", 3, out, 8, nullptr, nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    SetLastError(kUntouched);
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"abc", 3, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    SetLastError(kUntouched);
    EXPECT_EQ(WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, u"abc", 3, out, 8, nullptr, nullptr),
              3);
    EXPECT_EQ(GetLastError(), kUntouched);
}

TEST(MultiByteToWideChar, ConcurrentConversions) {
    // Each call has its own converter state: threads must not disturb each other.
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            const UINT page = t % 2 ? 950 : 936;
            const char* bytes = t % 2 ? "\xA4\xA4\xA4\xE5" : "\xD6\xD0\xCE\xC4";
            for (int i = 0; i < 200; ++i) {
                WCHAR out[4] = {};
                if (MultiByteToWideChar(page, 0, bytes, -1, out, 4) != 3 || out[0] != u'\u4E2D' ||
                    out[1] != u'\u6587')
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}
