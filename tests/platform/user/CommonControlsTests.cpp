// Common controls start-up and accelerator tables.
#include <cstring>

#include "TestSupport.h"
#include "platform.h"

namespace {

constexpr DWORD kUntouched = 0xC0DE;

// Gives the test program resources of its own, so that LoadAcceleratorsW
// meets a module that has a resource record without accelerator tables.
const ORVI_STRING_ENTRY kProgramStrings[] = {{128, u"Common controls tests"}};

}  // namespace

ORVI_DEFINE_RESOURCES_VERSION(kProgramStrings, 1, 0, 0, 0);

TEST(InitCommonControlsEx, AcceptsOnlyTheEightByteRecord) {
    const DWORD before = OrviInitializedCommonControls();
    for (DWORD size : {0u, 7u, 16u}) {
        INITCOMMONCONTROLSEX init{size, ICC_PROGRESS_CLASS};
        SetLastError(kUntouched);
        EXPECT_FALSE(InitCommonControlsEx(&init)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
    }
    SetLastError(kUntouched);
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(OrviInitializedCommonControls(), before) << "a refused call records nothing";
}

TEST(InitCommonControlsEx, RecordsEveryKnownClassAskedFor) {
    INITCOMMONCONTROLSEX date{8, ICC_DATE_CLASSES};
    SetLastError(kUntouched);
    ASSERT_TRUE(InitCommonControlsEx(&date));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_TRUE(OrviInitializedCommonControls() & ICC_DATE_CLASSES);

    INITCOMMONCONTROLSEX more{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES | 0x80000000u};
    ASSERT_TRUE(InitCommonControlsEx(&more));
    const DWORD classes = OrviInitializedCommonControls();
    EXPECT_TRUE(classes & ICC_DATE_CLASSES) << "earlier classes stay";
    EXPECT_TRUE(classes & ICC_TAB_CLASSES);
    EXPECT_FALSE(classes & 0x80000000u) << "unknown bits are not recorded";
}

TEST(LoadAcceleratorsW, NoModuleCarriesATable) {
    SetLastError(kUntouched);
    EXPECT_EQ(LoadAcceleratorsW(nullptr, MAKEINTRESOURCEW(128)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));

    HMODULE platform = LoadLibraryW(u"coredll.dll");  // a module without resources
    ASSERT_NE(platform, nullptr);
    SetLastError(kUntouched);
    EXPECT_EQ(LoadAcceleratorsW(platform, MAKEINTRESOURCEW(128)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    FreeLibrary(platform);

    SetLastError(kUntouched);
    EXPECT_EQ(LoadAcceleratorsW(reinterpret_cast<HINSTANCE>(0x7777), u"Main"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(TranslateAcceleratorW, NullTableTranslatesNothing) {
    MSG msg{nullptr, WM_KEYFIRST, 'A', 0, 0, {}};
    const MSG copy = msg;
    SetLastError(kUntouched);
    EXPECT_EQ(TranslateAcceleratorW(nullptr, nullptr, &msg), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ACCEL_HANDLE));
    EXPECT_EQ(std::memcmp(&msg, &copy, sizeof(msg)), 0);
}
