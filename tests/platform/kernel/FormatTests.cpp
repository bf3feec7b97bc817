// The formatter behind wsprintfW, _snwprintf and StringCchPrintfW: the
// device's printf rules, argument type checks and the wrappers' buffer rules.
// Expected texts are worked out by hand from those rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform.h"

namespace {

// Formats with the array form of wsprintfW; the text written, or "<failed>"
// when the call reported a bad format.
template <class... A>
std::u16string Fmt(LPCWSTR format, const A&... args) {
    WCHAR buffer[1025];
    buffer[0] = u'#';
    int n = wsprintfW(buffer, format, args...);
    if (n == 0 && buffer[0] == 0 && format[0] != 0)
        return u"<failed>";
    EXPECT_EQ(buffer[n], u'\0');
    return std::u16string(buffer, static_cast<size_t>(n));
}

// Checks that a call fails the way wsprintfW documents: 0, empty string.
template <class... A>
void ExpectRejected(LPCWSTR format, const A&... args) {
    WCHAR buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(wsprintfW(buffer, format, args...), 0);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

enum class Colour { Red = 3 };

}  // namespace

// ---- the format strings the system's code uses ----------------------------------
TEST(wsprintfW, LogLinePrefix) {
    EXPECT_EQ(Fmt(u"%d-%02d-%02d %02d:%02d:%02d (%lu)\t", 2024, 3, 7, 9, 5, 0, 123456789u),
              u"2024-03-07 09:05:00 (123456789)\t");
    EXPECT_EQ(Fmt(u"%02d:%02d", 3, 7), u"03:07");
    EXPECT_EQ(Fmt(u"%02d:%02d", 125, 5), u"125:05");
}

TEST(wsprintfW, ExceptionReport) {
    EXPECT_EQ(
        Fmt(u"Exception: address=0x%08x,code=0x%08x,flags=0x%08x\r\n", 0x1234ABu, 0xC0000005u, 0u),
        u"Exception: address=0x001234ab,code=0xc0000005,flags=0x00000000\r\n");
    EXPECT_EQ(Fmt(u"Exception: code=0x%08x\r\n", 0x80000003u), u"Exception: code=0x80000003\r\n");
    EXPECT_EQ(Fmt(u"  0x%08X\n", 0xDEADBEEFu), u"  0xDEADBEEF\n");
    EXPECT_EQ(Fmt(u"  0x%08X\n", 0x1Fu), u"  0x0000001F\n");
    EXPECT_EQ(Fmt(u"---End log, process: self=0x%08x, call=0x%08x---\r\n", 0x4A2u, 0x10000u),
              u"---End log, process: self=0x000004a2, call=0x00010000---\r\n");
}

TEST(wsprintfW, QueriesAndVersions) {
    EXPECT_EQ(Fmt(u"version=WM%d&device=WM", 1), u"version=WM1&device=WM");
    EXPECT_EQ(Fmt(u"param[@name='%s'][@lang='%d']", u"Title", 1033),
              u"param[@name='Title'][@lang='1033']");
    EXPECT_EQ(Fmt(u"param[@name='%s']", std::u16string(u"Skin")), u"param[@name='Skin']");
    EXPECT_EQ(Fmt(u"%d.%d.%d.%d", 192, 168, 0, 1), u"192.168.0.1");
    EXPECT_EQ(Fmt(u"Calvaro\r\nVersion: %d.%d.%d.%d ", 1, 0, 0, 1),
              u"Calvaro\r\nVersion: 1.0.0.1 ");
    EXPECT_EQ(Fmt(u"Range: bytes=%lu-", 1048576u), u"Range: bytes=1048576-");
    EXPECT_EQ(Fmt(u"orvi/setup[@lang=%d]", 2052), u"orvi/setup[@lang=2052]");
}

TEST(wsprintfW, ErrorAndMessageLines) {
    EXPECT_EQ(Fmt(u"err=%ld", static_cast<DWORD>(183)), u"err=183");
    EXPECT_EQ(Fmt(u"err=%ld", static_cast<LONG>(-5)), u"err=-5");
    EXPECT_EQ(Fmt(u"Sleep receive message: 0x%08x 0x%04x(0x%08x,0x%08x)\r\n", 0x1234u, 0x401u, 7u,
                  0xFFFFFFFFu),
              u"Sleep receive message: 0x00001234 0x0401(0x00000007,0xffffffff)\r\n");
    // Pointer-sized message parameters print their low 32 bits, as on the device.
    EXPECT_EQ(Fmt(u"Desktop windows message(ret=%ld): 0x%04x(0x%08x,0x%08x)\r\n", LRESULT{0},
                  0x111u, WPARAM{0x10002}, LPARAM{-1}),
              u"Desktop windows message(ret=0): 0x0111(0x00010002,0xffffffff)\r\n");
    EXPECT_EQ(Fmt(u"OpenRegkey failed(%ld): %s\\%s\r\n", 2L, u"HKLM", u"Software\\Orvi"),
              u"OpenRegkey failed(2): HKLM\\Software\\Orvi\r\n");
    EXPECT_EQ(Fmt(u"OrviSkin.load exe icon OK: %s(%ldx%ld)\r\n", u"\\Windows\\x.exe", 16, 32),
              u"OrviSkin.load exe icon OK: \\Windows\\x.exe(16x32)\r\n");
    EXPECT_EQ(Fmt(u"connection: %08x-%08x-%08x-%08x proxy=%s\r\n", 0x436EF144u, 0xB4FBu, 0x4863u,
                  0xA041u, u"none"),
              u"connection: 436ef144-0000b4fb-00004863-0000a041 proxy=none\r\n");
    EXPECT_EQ(Fmt(u"Data File Time: %x,%x -> %x,%x \r\n", 0x1D2A3B4u, 0x89ABCDEFu, 0u, 0x10u),
              u"Data File Time: 1d2a3b4,89abcdef -> 0,10 \r\n");
    EXPECT_EQ(Fmt(u"COrviCustomView::RotateAnyAngle: %.4f\r\n", 1.5707963),
              u"COrviCustomView::RotateAnyAngle: 1.5708\r\n");
}

// ---- integers --------------------------------------------------------------------
TEST(wsprintfW, IntegerSizesFollowTheDevice) {
    const long long big = 0x100000005LL;
    EXPECT_EQ(Fmt(u"%ld", big), u"5");
    EXPECT_EQ(Fmt(u"%d", big), u"5");
    EXPECT_EQ(Fmt(u"%lld", big), u"4294967301");
    EXPECT_EQ(Fmt(u"%I64d", -big), u"-4294967301");
    EXPECT_EQ(Fmt(u"%I64x", 0x123456789ABCull), u"123456789abc");
    EXPECT_EQ(Fmt(u"%lu", -1LL), u"4294967295");
    EXPECT_EQ(Fmt(u"%d", 0xFFFFFFFFu), u"-1");
    EXPECT_EQ(Fmt(u"%hd", 70000), u"4464");
    EXPECT_EQ(Fmt(u"%hu", -1), u"65535");
    EXPECT_EQ(Fmt(u"%hx", 0x12345), u"2345");
    EXPECT_EQ(Fmt(u"%hhu", 0x1FF), u"255");
    EXPECT_EQ(Fmt(u"%d", -2147483647 - 1), u"-2147483648");
    EXPECT_EQ(Fmt(u"%lli", INT64_MIN), u"-9223372036854775808");
}

TEST(wsprintfW, NegativeAndAlternateForms) {
    EXPECT_EQ(Fmt(u"%x", -1), u"ffffffff");
    EXPECT_EQ(Fmt(u"%x", -255), u"ffffff01");
    EXPECT_EQ(Fmt(u"%X", -255), u"FFFFFF01");
    EXPECT_EQ(Fmt(u"%u", -2), u"4294967294");
    EXPECT_EQ(Fmt(u"%o", 8), u"10");
    EXPECT_EQ(Fmt(u"%#o", 8), u"010");
    EXPECT_EQ(Fmt(u"%#x", 255), u"0xff");
    EXPECT_EQ(Fmt(u"%#X", 255), u"0XFF");
    EXPECT_EQ(Fmt(u"%#x", 0), u"0");
    EXPECT_EQ(Fmt(u"%#06x", 10), u"0x000a");
}

TEST(wsprintfW, WidthPrecisionAndFlags) {
    EXPECT_EQ(Fmt(u"[%5d]", 42), u"[   42]");
    EXPECT_EQ(Fmt(u"[%-5d]", 42), u"[42   ]");
    EXPECT_EQ(Fmt(u"[%05d]", -42), u"[-0042]");
    EXPECT_EQ(Fmt(u"[%+d][% d][%+u]", 42, 42, 42u), u"[+42][ 42][42]");
    EXPECT_EQ(Fmt(u"[%.3d]", 7), u"[007]");
    EXPECT_EQ(Fmt(u"[%8.3d]", -7), u"[    -007]");
    EXPECT_EQ(Fmt(u"[%08.3d]", 7), u"[     007]");
    EXPECT_EQ(Fmt(u"[%.0d]", 0), u"[]");
    EXPECT_EQ(Fmt(u"[%-05d]", 3), u"[3    ]");
}

TEST(wsprintfW, StarTakesIntArguments) {
    EXPECT_EQ(Fmt(u"[%*d]", 6, 42), u"[    42]");
    EXPECT_EQ(Fmt(u"[%-*d]", 4, 7), u"[7   ]");
    EXPECT_EQ(Fmt(u"[%*d]", -4, 7), u"[7   ]");
    EXPECT_EQ(Fmt(u"[%.*d]", 3, 5), u"[005]");
    EXPECT_EQ(Fmt(u"[%*.*s]", 5, 2, u"abcdef"), u"[   ab]");
    EXPECT_EQ(Fmt(u"[%.*s]", -1, u"abc"), u"[abc]");
    EXPECT_EQ(Fmt(u"[%*d]", u"6", 42), u"<failed>");
}

TEST(wsprintfW, BoolsEnumsAndCharsAreIntegers) {
    EXPECT_EQ(Fmt(u"%d %d", true, false), u"1 0");
    EXPECT_EQ(Fmt(u"%d", Colour::Red), u"3");
    EXPECT_EQ(Fmt(u"%d", u'A'), u"65");
    EXPECT_EQ(Fmt(u"%u", static_cast<BYTE>(200)), u"200");
}

// ---- floating point ----------------------------------------------------------------
TEST(wsprintfW, FloatingPointRounding) {
    EXPECT_EQ(Fmt(u"%f", 3.14159265), u"3.141593");
    EXPECT_EQ(Fmt(u"%.2f", 2.675), u"2.67");  // 2.675 is 2.67499999... in binary
    EXPECT_EQ(Fmt(u"%.1f", 0.05), u"0.1");    // 0.05 is 0.05000000000000000277...
    EXPECT_EQ(Fmt(u"%.3f", 9.9996), u"10.000");
    EXPECT_EQ(Fmt(u"%.0f", 1.6), u"2");
    EXPECT_EQ(Fmt(u"[%8.3f]", -1.5), u"[  -1.500]");
    EXPECT_EQ(Fmt(u"[%08.2f]", -3.14159), u"[-0003.14]");
    EXPECT_EQ(Fmt(u"[%-8.1f]", 2.26), u"[2.3     ]");
    EXPECT_EQ(Fmt(u"%+.1f", 2.26), u"+2.3");
    EXPECT_EQ(Fmt(u"%f", 2.5f), u"2.500000");
    EXPECT_EQ(Fmt(u"%#.0f", 3.0), u"3.");
}

TEST(wsprintfW, ExponentsHaveThreeDigits) {
    EXPECT_EQ(Fmt(u"%e", 12345.678), u"1.234568e+004");
    EXPECT_EQ(Fmt(u"%E", 0.00012), u"1.200000E-004");
    EXPECT_EQ(Fmt(u"%.2e", 1e100), u"1.00e+100");
    EXPECT_EQ(Fmt(u"%g", 0.0001), u"0.0001");
    EXPECT_EQ(Fmt(u"%g", 0.00001), u"1e-005");
    EXPECT_EQ(Fmt(u"%g", 123456789.0), u"1.23457e+008");
    EXPECT_EQ(Fmt(u"%G", 1e20), u"1E+020");
    EXPECT_EQ(Fmt(u"%g", 100000.0), u"100000");
    EXPECT_EQ(Fmt(u"%g", 1000000.0), u"1e+006");
    EXPECT_EQ(Fmt(u"[%12.3e]", -2.5), u"[ -2.500e+000]");
}

// ---- characters, strings, pointers ------------------------------------------------------
TEST(wsprintfW, Characters) {
    EXPECT_EQ(Fmt(u"%c%c", u'Z', 0x263A), u"Z\u263A");
    EXPECT_EQ(Fmt(u"[%3c][%-3c]", u'a', u'b'), u"[  a][b  ]");
    EXPECT_EQ(Fmt(u"%C%hc", 'a', 0x80), u"a\u20AC");
    EXPECT_EQ(Fmt(u"%lc%wc", u'x', u'y'), u"xy");
}

TEST(wsprintfW, StringsWideAndNarrow) {
    EXPECT_EQ(Fmt(u"%s|%ls|%ws", u"one", u"two", u"three"), u"one|two|three");
    EXPECT_EQ(Fmt(u"%S|%hs|%hS", "abc", "caf\xE9", "x"), u"abc|caf\u00E9|x");
    EXPECT_EQ(Fmt(u"%S", "\x80\x93"), u"\u20AC\u201C");  // Windows-1252 bytes
    EXPECT_EQ(Fmt(u"%lS", u"wide"), u"wide");
    EXPECT_EQ(Fmt(u"%S", std::string("std")), u"std");
    EXPECT_EQ(Fmt(u"[%10s][%-6s][%.2s]", u"abc", u"ab", u"abcdef"), u"[       abc][ab    ][ab]");
    EXPECT_EQ(Fmt(u"[%.3S]", "narrow"), u"[nar]");
    EXPECT_EQ(Fmt(u"%s", u"\u4E2D\u6587"), u"\u4E2D\u6587");
}

TEST(wsprintfW, NullStringsPrintNull) {
    EXPECT_EQ(Fmt(u"[%s]", static_cast<LPCWSTR>(nullptr)), u"[(null)]");
    EXPECT_EQ(Fmt(u"[%S]", static_cast<const char*>(nullptr)), u"[(null)]");
    EXPECT_EQ(Fmt(u"[%8s]", static_cast<LPCWSTR>(nullptr)), u"[  (null)]");
}

TEST(wsprintfW, PrecisionBoundsTheStringRead) {
    // Only the characters the precision allows are read: no terminator needed.
    const WCHAR unterminated[3] = {u'x', u'y', u'z'};
    const char narrow[2] = {'p', 'q'};
    EXPECT_EQ(Fmt(u"%.3s", unterminated), u"xyz");
    EXPECT_EQ(Fmt(u"%.2S", narrow), u"pq");
}

TEST(wsprintfW, Pointers) {
    const size_t digits = sizeof(void*) * 2;
    EXPECT_EQ(Fmt(u"%p", reinterpret_cast<void*>(0xABCDEF)),
              std::u16string(digits - 6, u'0') + u"ABCDEF");
    EXPECT_EQ(Fmt(u"%p", nullptr), std::u16string(digits, u'0'));
    HWND window = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(Fmt(u"%p", window), std::u16string(digits - 4, u'0') + u"1234");
    EXPECT_EQ(Fmt(u"[%20p]", reinterpret_cast<void*>(0x10)).size(), 22u);
}

TEST(wsprintfW, PercentAndPlainText) {
    EXPECT_EQ(Fmt(u"100%%"), u"100%");
    EXPECT_EQ(Fmt(u"%%d%d%%", 5), u"%d5%");
    EXPECT_EQ(Fmt(u"plain text"), u"plain text");
    EXPECT_EQ(Fmt(u"%d", 1, 2, u"extra"), u"1");
}

// ---- type checks and malformed formats --------------------------------------------------
TEST(wsprintfW, RejectsWrongArgumentTypes) {
    ExpectRejected(u"%s", 5);
    ExpectRejected(u"%s", "narrow");
    ExpectRejected(u"%S", u"wide");
    ExpectRejected(u"%hs", u"wide");
    ExpectRejected(u"%d", u"text");
    ExpectRejected(u"%x", reinterpret_cast<void*>(0x10));
    ExpectRejected(u"%f", 3);
    ExpectRejected(u"%c", 1.5);
    ExpectRejected(u"%p", 42);
    ExpectRejected(u"%s", nullptr);
    ExpectRejected(u"%n", reinterpret_cast<int*>(0x10));
}

TEST(wsprintfW, RejectsMissingArguments) {
    ExpectRejected(u"%d %d", 1);
    ExpectRejected(u"%s");
    ExpectRejected(u"%*d", 5);
}

TEST(wsprintfW, RejectsMalformedConversions) {
    ExpectRejected(u"%q", 1);
    ExpectRejected(u"abc%", 1);
    ExpectRejected(u"%5", 1);
    ExpectRejected(u"%l", 1);
    ExpectRejected(u"%ls", 1);
    ExpectRejected(u"%llS", "x");
    ExpectRejected(u"%Lx", 1);
    ExpectRejected(u"%hf", 1.0);
    ExpectRejected(u"%99999d", 1);
}

TEST(wsprintfW, FormatKeepsTextBeforeTheFault) {
    std::u16string out = u">";
    EXPECT_FALSE(orvi::fmt::Format(&out, u"a=%d b=%s c", 1, 2));
    EXPECT_EQ(out, u">a=1 b=");
    out.clear();
    EXPECT_TRUE(orvi::fmt::Format(&out, u"%s=%d", u"n", 7));
    EXPECT_EQ(out, u"n=7");
}

// ---- buffers ---------------------------------------------------------------------------------
TEST(wsprintfW, ArrayFormNeverOverruns) {
    struct {
        WCHAR text[8];
        WCHAR guard[4];
    } block;
    std::fill(std::begin(block.guard), std::end(block.guard), u'\xABCD');
    EXPECT_EQ(wsprintfW(block.text, u"%s-%d", u"0123456789", 42), 7);
    EXPECT_EQ(std::u16string(block.text), u"0123456");
    for (WCHAR g : block.guard)
        EXPECT_EQ(g, u'\xABCD');
}

TEST(wsprintfW, WritesAtMost1024Characters) {
    std::u16string longText(1500, u'x');
    std::u16string buffer(2000, u'#');
    LPWSTR pointer = buffer.data();
    EXPECT_EQ(wsprintfW(pointer, u"%s", longText), 1024);
    EXPECT_EQ(buffer[1023], u'x');
    EXPECT_EQ(buffer[1024], u'\0');
    EXPECT_EQ(buffer[1025], u'#');
}

TEST(wsprintfW, BadFormatWritesEmptyString) {
    WCHAR buffer[16] = u"previous";
    LPWSTR pointer = buffer;
    EXPECT_EQ(wsprintfW(pointer, u"x%sy", 12), 0);
    EXPECT_EQ(buffer[0], u'\0');
}

TEST(_snwprintf, FitsWithTerminator) {
    WCHAR buffer[10];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 10, u"%d-%s", 12, u"ab"), 5);
    EXPECT_EQ(std::u16string(buffer), u"12-ab");
}

TEST(_snwprintf, ExactFitHasNoTerminator) {
    WCHAR buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 5, u"%s", u"abcde"), 5);
    EXPECT_EQ(std::u16string(buffer, 6), u"abcde#");
}

TEST(_snwprintf, TruncationReturnsMinusOne) {
    WCHAR buffer[6];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 3, u"%d", 123456), -1);
    EXPECT_EQ(std::u16string(buffer, 6), u"123###");
    EXPECT_EQ(_snwprintf(buffer, 0, u"x"), -1);
    EXPECT_EQ(buffer[0], u'1');
}

TEST(_snwprintf, SizeQueryAndBadFormat) {
    EXPECT_EQ(_snwprintf(nullptr, 0, u"%d", 12345), 5);
    WCHAR buffer[8] = u"old";
    EXPECT_EQ(_snwprintf(buffer, 8, u"%d", u"no"), -1);
    EXPECT_EQ(buffer[0], u'\0');
}

TEST(StringCchPrintfW, FitsAndTruncates) {
    WCHAR buffer[8];
    EXPECT_EQ(StringCchPrintfW(buffer, 8, u"%s%d", u"ab", 12345), S_OK);  // 7 + terminator
    EXPECT_EQ(std::u16string(buffer), u"ab12345");
    EXPECT_EQ(StringCchPrintfW(buffer, 8, u"%s%d", u"ab", 123456), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"ab12345");
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"0x%08X", 0xABCDu), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buffer), u"0x0");
}

TEST(StringCchPrintfW, InvalidParameters) {
    WCHAR buffer[4] = u"old";
    EXPECT_EQ(StringCchPrintfW(buffer, 0, u"x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(std::u16string(buffer), u"old");
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"%s", 1), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(StringCchPrintfW(nullptr, 4, u"x"), STRSAFE_E_INVALID_PARAMETER);
}
