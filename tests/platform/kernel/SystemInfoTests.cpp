// Device facts: platform type, OEM text, work area and version, with the
// environment overrides a test or a trial run uses.
#include <cstring>
#include <string>
#include <vector>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "platform.h"

using orvi::test::ScopedEnv;

namespace {

constexpr DWORD kUntouched = 0xC0DE;

// Asks for a device text with a buffer of `bytes` bytes prefilled with 'x';
// *text receives the buffer up to its first NUL.
BOOL QueryText(UINT action, UINT bytes, std::u16string* text) {
    std::vector<WCHAR> buffer(bytes / sizeof(WCHAR) + 1, u'x');
    buffer.back() = u'\0';
    SetLastError(kUntouched);
    BOOL ok = SystemParametersInfoW(action, bytes, buffer.data(), 0);
    *text = buffer.data();
    return ok;
}

OSVERSIONINFOW QueryVersion(DWORD size, BOOL* ok) {
    OSVERSIONINFOW info;
    std::memset(&info, 0xAB, sizeof(info));
    info.dwOSVersionInfoSize = size;
    SetLastError(kUntouched);
    *ok = GetVersionExW(&info);
    return info;
}

}  // namespace

TEST(SystemParametersInfoW, TextsHaveDefaultsOverridesAndMayBeMissing) {
    std::u16string text;
    {
        ScopedEnv noType("ORVI_PLATFORM_TYPE", nullptr), noOem("ORVI_OEM_INFO", nullptr);
        ASSERT_TRUE(QueryText(SPI_GETPLATFORMTYPE, MAX_PATH * sizeof(WCHAR), &text));
        EXPECT_EQ(text, u"PocketPC");
        ASSERT_TRUE(QueryText(SPI_GETOEMINFO, 128, &text));  // callers keep 128 bytes
        EXPECT_GT(text.size(), 1u);
        EXPECT_EQ(GetLastError(), kUntouched);
    }
    ScopedEnv type("ORVI_PLATFORM_TYPE", "SmartPhone"), oem("ORVI_OEM_INFO", "Orvi \xC3\x9C" "ber");
    ASSERT_TRUE(QueryText(SPI_GETPLATFORMTYPE, MAX_PATH * sizeof(WCHAR), &text));
    EXPECT_EQ(text, u"SmartPhone");
    ASSERT_TRUE(QueryText(SPI_GETOEMINFO, 128, &text));
    EXPECT_EQ(text, u"Orvi \u00DCber");

    ScopedEnv none("ORVI_OEM_INFO", "");
    EXPECT_FALSE(QueryText(SPI_GETOEMINFO, 128, &text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(text, std::u16string(64, u'x'));
}

TEST(SystemParametersInfoW, SizeIsInBytesAndTheNulMustFit) {
    ScopedEnv oem("ORVI_OEM_INFO", "abcd");  // 10 bytes with the NUL
    std::u16string text;
    for (UINT bytes : {0u, 9u}) {
        EXPECT_FALSE(QueryText(SPI_GETOEMINFO, bytes, &text)) << bytes;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << bytes;
        EXPECT_EQ(text, std::u16string(bytes / sizeof(WCHAR), u'x')) << "buffer left as it was";
    }
    EXPECT_TRUE(QueryText(SPI_GETOEMINFO, 10, &text));
    EXPECT_EQ(text, u"abcd");

    EXPECT_FALSE(QueryText(0x1234, 128, &text));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (UINT action : {SPI_GETPLATFORMTYPE, SPI_GETOEMINFO, SPI_GETWORKAREA}) {
        SetLastError(kUntouched);
        EXPECT_FALSE(SystemParametersInfoW(action, 128, nullptr, 0)) << action;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << action;
    }
}

// The screen geometry is read once per process: checked in a child.
ORVI_TEST_CHILD_MAIN(CheckWorkArea) {
    RECT area{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        return 2;
    return area.left == 0 && area.top == 52 && area.right == 480 && area.bottom == 640 ? 0 : 1;
}

TEST(SystemParametersInfoW, WorkAreaIsTheScreenBelowTheScaledNavigationBar) {
    ScopedEnv screen("ORVI_SCREEN", "480x640@192");
    orvi::test::ChildProcess child("CheckWorkArea");
    EXPECT_EQ(child.Wait(), 0);
}

TEST(GetVersionExW, DefaultAndOverridesOfMajorMinorAndBuild) {
    BOOL ok = FALSE;
    ScopedEnv noVersion("ORVI_OS_VERSION", nullptr);
    const OSVERSIONINFOW standard = QueryVersion(sizeof(OSVERSIONINFOW), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(standard.dwMajorVersion, 5u);
    EXPECT_EQ(standard.dwMinorVersion, 2u);
    EXPECT_GT(standard.dwBuildNumber, 0u);
    EXPECT_EQ(standard.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
    EXPECT_EQ(standard.szCSDVersion[0], u'\0');

    const struct {
        const char* text;
        DWORD major, minor, build;
    } cases[] = {
        {"4.21", 4, 21, 0}, {"6.0.1234", 6, 0, 1234},
        // Not major.minor[.build]: the default stands.
        {"5", 5, 2, standard.dwBuildNumber}, {"4.x", 5, 2, standard.dwBuildNumber},
        {"4.2.", 5, 2, standard.dwBuildNumber}, {"-4.2", 5, 2, standard.dwBuildNumber},
        {"4.2.1.0", 5, 2, standard.dwBuildNumber},
    };
    for (const auto& c : cases) {
        ScopedEnv version("ORVI_OS_VERSION", c.text);
        OSVERSIONINFOW info = QueryVersion(sizeof(OSVERSIONINFOW), &ok);
        ASSERT_TRUE(ok) << c.text;
        EXPECT_EQ(info.dwMajorVersion, c.major) << c.text;
        EXPECT_EQ(info.dwMinorVersion, c.minor) << c.text;
        EXPECT_EQ(info.dwBuildNumber, c.build) << c.text;
    }
}

TEST(GetVersionExW, RecordSizeMustBeExactAndFailuresWriteNothing) {
    for (DWORD size : {0ul, sizeof(OSVERSIONINFOW) - 1, sizeof(OSVERSIONINFOW) + 4}) {
        BOOL ok = TRUE;
        OSVERSIONINFOW info = QueryVersion(size, &ok);
        EXPECT_FALSE(ok) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(size < sizeof(OSVERSIONINFOW)
                                                         ? ERROR_INSUFFICIENT_BUFFER
                                                         : ERROR_INVALID_PARAMETER))
            << size;
        EXPECT_EQ(info.dwMajorVersion, 0xABABABABu) << size;
    }
    SetLastError(kUntouched);
    EXPECT_FALSE(GetVersionExW(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
