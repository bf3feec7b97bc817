// UTF-16 string helpers: C library names, case mapping, number parsing,
// kernel string functions and the safe string functions.
#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>
#include <string>

#include "platform.h"

namespace {

std::u16string Lower(std::u16string s) {
    _wcslwr(s.data());
    return s;
}

std::u16string Upper(std::u16string s) {
    _wcsupr(s.data());
    return s;
}

}  // namespace

// ---- C library string functions ------------------------------------------------------
TEST(wcslen, CountsCodeUnits) {
    EXPECT_EQ(wcslen(u""), 0u);
    EXPECT_EQ(wcslen(u"abc"), 3u);
    EXPECT_EQ(wcslen(u"\U0001F600"), 2u);  // a surrogate pair
    EXPECT_EQ(std::wcslen(L"host"), 4u);   // the host's wchar_t version is still there
}

TEST(wcscpy, CopiesWithTerminatorAndAppends) {
    WCHAR buffer[16];
    EXPECT_EQ(wcscpy(buffer, u"abc"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(wcscat(buffer, u"de"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(wcsncat(buffer, u"fghij", 2), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcdefg");
}

TEST(wcsncpy, PadsOrLeavesUnterminated) {
    WCHAR buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    wcsncpy(buffer, u"ab", 5);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"ab\0\0\0#", 6));
    wcsncpy(buffer, u"wxyz", 3);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"wxy\0\0#", 6));
}

TEST(wcscmp, OrdersByCodeUnit) {
    EXPECT_EQ(wcscmp(u"abc", u"abc"), 0);
    EXPECT_LT(wcscmp(u"abc", u"abd"), 0);
    EXPECT_GT(wcscmp(u"abcd", u"abc"), 0);
    EXPECT_LT(wcscmp(u"B", u"a"), 0);
    EXPECT_GT(wcscmp(u"\u00E9", u"z"), 0);
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
    EXPECT_NE(wcsncmp(u"abcX", u"abcY", 4), 0);
    EXPECT_EQ(wcsncmp(u"a", u"b", 0), 0);
}

TEST(_wcsicmp, LatinOneAndExtendedLetters) {
    EXPECT_EQ(_wcsicmp(u"\u00C9COLE", u"\u00E9cole"), 0);  // ÉCOLE / école
    EXPECT_EQ(_wcsicmp(u"\u00C4\u00D6\u00DC", u"\u00E4\u00F6\u00FC"), 0);
    EXPECT_EQ(_wcsicmp(u"\u0141\u00D3D\u0179", u"\u0142\u00F3d\u017A"), 0);  // ŁÓDŹ / łódź
    EXPECT_EQ(_wcsicmp(u"\u0178", u"\u00FF"), 0);                            // Ÿ / ÿ
    EXPECT_NE(_wcsicmp(u"\u00D7", u"\u00F7"), 0);  // × and ÷ are not letters
    EXPECT_LT(_wcsicmp(u"apple", u"BANANA"), 0);
    EXPECT_GT(_wcsicmp(u"Zebra", u"apple"), 0);
}

TEST(_wcsicmp, GreekAndCyrillic) {
    EXPECT_EQ(
        _wcsicmp(u"\u041C\u041E\u0421\u041A\u0412\u0410", u"\u043C\u043E\u0441\u043A\u0432\u0430"),
        0);
    EXPECT_EQ(_wcsicmp(u"\u0401\u0416\u040F", u"\u0451\u0436\u045F"), 0);  // ЁЖЏ / ёжџ
    EXPECT_EQ(_wcsicmp(u"\u0406\u0407\u0490", u"\u0456\u0457\u0491"), 0);  // Ukrainian
    EXPECT_EQ(_wcsicmp(u"\u03A3\u039F\u03A6\u0399\u0391", u"\u03C3\u03BF\u03C6\u03B9\u03B1"), 0);
    EXPECT_EQ(_wcsicmp(u"\u0386\u038F", u"\u03AC\u03CE"), 0);  // accented Greek
    EXPECT_NE(_wcsicmp(u"\u0416", u"\u0437"), 0);
}

TEST(_wcsnicmp, ComparesPrefixes) {
    EXPECT_EQ(_wcsnicmp(u"HTTP://x", u"http://y", 7), 0);
    EXPECT_NE(_wcsnicmp(u"HTTP://x", u"http://y", 8), 0);
    EXPECT_EQ(_wcsnicmp(u"mms", u"MMS://host", 3), 0);
    EXPECT_NE(_wcsnicmp(u"mm", u"MMS", 3), 0);
}

TEST(wcschr, FindsFirstAndLast) {
    const char16_t* text = u"a\\b\\c";
    EXPECT_EQ(wcschr(text, u'\\'), text + 1);
    EXPECT_EQ(wcsrchr(text, u'\\'), text + 3);
    EXPECT_EQ(wcschr(text, u'z'), nullptr);
    EXPECT_EQ(wcsrchr(text, u'z'), nullptr);
    EXPECT_EQ(wcschr(text, u'\0'), text + 5);
    WCHAR buffer[] = u"x.y.z";
    char16_t* dot = wcsrchr(buffer, u'.');
    ASSERT_NE(dot, nullptr);
    *dot = 0;
    EXPECT_EQ(std::u16string(buffer), u"x.y");
}

TEST(wcsstr, FindsSubstrings) {
    const char16_t* text = u"StreamTitle='x';";
    EXPECT_EQ(wcsstr(text, u"Title="), text + 6);
    EXPECT_EQ(wcsstr(text, u"title"), nullptr);
    EXPECT_EQ(wcsstr(text, u""), text);
    const char16_t* overlap = u"aaab";
    EXPECT_EQ(wcsstr(overlap, u"aab"), overlap + 1);
    EXPECT_EQ(wcsstr(u"ab", u"abc"), nullptr);
}

TEST(_wcslwr, UnicodeLetters) {
    EXPECT_EQ(Lower(u"\u00C0\u00C9\u00CE\u00D5\u00DC STRASSE \u0391\u0392\u0393 \u0414\u0416\u042F "
                    u"\u0401\u0416"),
              u"\u00E0\u00E9\u00EE\u00F5\u00FC strasse \u03B1\u03B2\u03B3 \u0434\u0436\u044F "
              u"\u0451\u0436");
    EXPECT_EQ(Lower(u"\u0130\u1E9E\u03F4"), u"i\u00DF\u03B8");  // İ, ẞ, ϴ
    EXPECT_EQ(Lower(u"123 !?"), u"123 !?");
}

TEST(_wcsupr, UnicodeLetters) {
    EXPECT_EQ(Upper(u"\u00E0\u00E9\u00EE\u00F5\u00FC stra\u00DFe \u03B1\u03B2\u03B3\u03C2 "
                    u"\u0434\u0436\u044F \u0451 \u00FF"),
              u"\u00C0\u00C9\u00CE\u00D5\u00DC STRA\u00DFE \u0391\u0392\u0393\u03A3 "
              u"\u0414\u0416\u042F \u0401 \u0178");
    EXPECT_EQ(Upper(u"\u00B5\u017F\u0131"), u"\u039CSI");  // µ, long s, dotless i
}

TEST(towlower, SingleCharacters) {
    EXPECT_EQ(towlower(u'Q'), u'q');
    EXPECT_EQ(towlower(u'q'), u'q');
    EXPECT_EQ(towlower(u'\u0100'), u'\u0101');
    EXPECT_EQ(towlower(u'\u0101'), u'\u0101');
    EXPECT_EQ(towlower(u'\u0139'), u'\u013A');  // odd-upper pair
    EXPECT_EQ(towlower(u'\uFF21'), u'\uFF41');  // full-width A
    EXPECT_EQ(towlower(0x41), 0x61);            // a promoted WCHAR
    EXPECT_EQ(towlower(0x10041), 0x10041);
    EXPECT_EQ(towupper(u'\u03C3'), u'\u03A3');
    EXPECT_EQ(towupper(u'\u0451'), u'\u0401');
    EXPECT_EQ(towupper(u'\u00DF'), u'\u00DF');  // no single-letter capital
    EXPECT_EQ(towupper(u'i'), u'I');
}

TEST(iswspace, UnicodeWhiteSpace) {
    for (char16_t c : {u' ', u'\t', u'\n', u'\r', u'\v', u'\f', u'\u00A0', u'\u2003', u'\u3000'})
        EXPECT_TRUE(iswspace(c)) << static_cast<int>(c);
    for (char16_t c : {u'a', u'0', u'\0', u'\u200B', u'_'})
        EXPECT_FALSE(iswspace(c)) << static_cast<int>(c);
}

TEST(iswdigit, AsciiDigitsOnly) {
    EXPECT_TRUE(iswdigit(u'0'));
    EXPECT_TRUE(iswdigit(u'9'));
    EXPECT_FALSE(iswdigit(u'a'));
    EXPECT_FALSE(iswdigit(u'/'));
    EXPECT_FALSE(iswdigit(u'\u0660'));  // Arabic-Indic zero
}

// ---- numbers --------------------------------------------------------------------------------
TEST(_wtol, LeadingDigits) {
    EXPECT_EQ(_wtol(u" -42abc"), -42);
    EXPECT_EQ(_wtol(u"+7"), 7);
    EXPECT_EQ(_wtol(u""), 0);
    EXPECT_EQ(_wtol(u"abc"), 0);
    EXPECT_EQ(_wtol(nullptr), 0);
    EXPECT_EQ(_wtol(u"\t\n 12 34"), 12);
    EXPECT_EQ(_wtol(u"- 5"), 0);
    EXPECT_EQ(_wtol(u"--5"), 0);
    EXPECT_EQ(_wtol(u"0x1A"), 0);
    EXPECT_EQ(_wtol(u"007"), 7);
}

TEST(_wtol, OverflowWrapsIn32Bits) {
    EXPECT_EQ(_wtol(u"2147483647"), 2147483647);
    EXPECT_EQ(_wtol(u"2147483648"), INT32_MIN);
    EXPECT_EQ(_wtol(u"4294967297"), 1);
    EXPECT_EQ(_wtol(u"-2147483649"), 2147483647);
    EXPECT_EQ(_wtoi(u"4294967295"), -1);
}

TEST(wcstol, BasesAndEnd) {
    char16_t* end = nullptr;
    const char16_t* hex = u"0x1Az";
    EXPECT_EQ(wcstol(hex, &end, 0), 26);
    EXPECT_EQ(end, hex + 4);
    const char16_t* octal = u"012";
    EXPECT_EQ(wcstol(octal, &end, 0), 10);
    EXPECT_EQ(end, octal + 3);
    EXPECT_EQ(wcstol(u"12", nullptr, 8), 10);
    EXPECT_EQ(wcstol(u"ff", nullptr, 16), 255);
    const char16_t* noHex = u"0xZ";
    EXPECT_EQ(wcstol(noHex, &end, 16), 0);
    EXPECT_EQ(end, noHex + 1);
    const char16_t* signedText = u"  -123xyz";
    EXPECT_EQ(wcstol(signedText, &end, 10), -123);
    EXPECT_EQ(end, signedText + 6);
    const char16_t* none = u"  abc";
    EXPECT_EQ(wcstol(none, &end, 10), 0);
    EXPECT_EQ(end, none);
}

TEST(wcstol, SaturatesWithErange) {
    errno = 0;
    EXPECT_EQ(wcstol(u"-2147483648", nullptr, 10), INT32_MIN);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(wcstol(u"2147483648", nullptr, 10), INT32_MAX);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(wcstol(u"-2147483649", nullptr, 10), INT32_MIN);
    EXPECT_EQ(errno, ERANGE);
    errno = 0;
    EXPECT_EQ(wcstol(u"99999999999999999999999", nullptr, 0), INT32_MAX);
    EXPECT_EQ(errno, ERANGE);
}

TEST(wcstoul, RangeSignAndBase) {
    errno = 0;
    EXPECT_EQ(wcstoul(u"4294967295", nullptr, 10), 4294967295u);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), 4294967295u);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(wcstoul(u"-1", nullptr, 10), 4294967295u);
    EXPECT_EQ(wcstoul(u"0X10", nullptr, 16), 16u);
    errno = 0;
    char16_t* end = nullptr;
    const char16_t* text = u"12";
    EXPECT_EQ(wcstoul(text, &end, 1), 0u);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(end, text);
}

// ---- kernel string functions -------------------------------------------------------------------
TEST(lstrlenW, NullIsEmpty) {
    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrlenW(u"four"), 4);
}

TEST(lstrcpynW, CopiesAtMostNMinusOne) {
    WCHAR buffer[8] = u"#######";
    EXPECT_EQ(lstrcpynW(buffer, u"abcdef", 4), buffer);
    EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"abc\0#", 5));
    lstrcpynW(buffer, u"xy", 8);
    EXPECT_EQ(std::u16string(buffer), u"xy");
    lstrcpynW(buffer, u"zz", 1);
    EXPECT_EQ(buffer[0], u'\0');
    buffer[0] = u'k';
    lstrcpynW(buffer, u"zz", 0);
    EXPECT_EQ(buffer[0], u'k');
    EXPECT_EQ(lstrcpyW(buffer, u"full"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"full");
}

TEST(lstrcmpW, ReturnsMinusOneZeroOne) {
    EXPECT_EQ(lstrcmpW(u"abc", u"abd"), -1);
    EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
    EXPECT_EQ(lstrcmpW(u"abd", u"abc"), 1);
    EXPECT_EQ(lstrcmpW(nullptr, u""), 0);
    EXPECT_NE(lstrcmpW(u"Abc", u"abc"), 0);
    EXPECT_EQ(lstrcmpiW(u"Abc", u"aBC"), 0);
    EXPECT_EQ(lstrcmpiW(u"\u00C4BC", u"\u00E4bc"), 0);
    EXPECT_EQ(lstrcmpiW(u"b", u"A"), 1);
}

// ---- safe string functions
// -----------------------------------------------------------------------
TEST(StringCchCopyW, CopiesOrTruncates) {
    WCHAR buffer[4];
    EXPECT_EQ(StringCchCopyW(buffer, 4, u"abc"), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(StringCchCopyW(buffer, 4, u"abcd"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(StringCchCopyW(buffer, 4, nullptr), S_OK);
    EXPECT_EQ(buffer[0], u'\0');
}

TEST(StringCchCopyW, InvalidSizesWriteNothing) {
    WCHAR buffer[4] = u"old";
    EXPECT_EQ(StringCchCopyW(buffer, 0, u"x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchCopyW(buffer, size_t{STRSAFE_MAX_CCH} + 1, u"x"),
              STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(std::u16string(buffer), u"old");
    EXPECT_EQ(StringCchCopyW(nullptr, 4, u"x"), STRSAFE_E_INVALID_PARAMETER);
}

TEST(StringCchCatW, AppendsOrTruncates) {
    WCHAR buffer[6] = u"ab";
    EXPECT_EQ(StringCchCatW(buffer, 6, u"cd"), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    EXPECT_EQ(StringCchCatW(buffer, 6, u"efg"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    WCHAR unterminated[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(StringCchCatW(unterminated, 3, u"a"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(unterminated[2], u'z');
}

TEST(StringCchCopyNW, CopiesAtMostN) {
    WCHAR buffer[8];
    EXPECT_EQ(StringCchCopyNW(buffer, 8, u"abcdef", 3), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(StringCchCopyNW(buffer, 8, u"ab", 5), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(StringCchCopyNW(buffer, 3, u"abcdef", 5), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(StringCchCopyNW(buffer, 8, u"ab", size_t{STRSAFE_MAX_CCH} + 1),
              STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(buffer[0], u'\0');
    const WCHAR unterminated[2] = {u'p', u'q'};
    EXPECT_EQ(StringCchCopyNW(buffer, 8, unterminated, 2), S_OK);
    EXPECT_EQ(std::u16string(buffer), u"pq");
}

TEST(StringCchLengthW, NeedsTerminatorWithinMax) {
    size_t length = 99;
    EXPECT_EQ(StringCchLengthW(u"abc", 4, &length), S_OK);
    EXPECT_EQ(length, 3u);
    length = 99;
    EXPECT_EQ(StringCchLengthW(u"abc", 3, &length), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(StringCchLengthW(nullptr, 3, &length), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchLengthW(u"", 1, nullptr), S_OK);
    EXPECT_EQ(StringCchLengthW(u"x", size_t{STRSAFE_MAX_CCH} + 1, &length),
              STRSAFE_E_INVALID_PARAMETER);
}
