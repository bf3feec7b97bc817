// CDeviceInfo: platform kind and tag, OEM text, network presence and the
// desktop pass-through rule, over the platform's overridable device facts.
#include <gtest/gtest.h>

#include "DeviceInfo.h"
#include "ScopedEnv.h"

namespace {

using orvi::test::ScopedEnv;

struct KindCase {
    const char* platformType;
    LONG kind;
    const char16_t* tag;
};

TEST(CDeviceInfo, PlatformKindFollowsThePlatformTypeInAnyCase) {
    const KindCase cases[] = {{"PocketPC", 1, u"PPC"},       {"POCKETPC", 1, u"PPC"},
                              {"SmartPhone", 2, u"SP"},      {"Palm PC2", 3, u"PALM"},
                              {"Generic CE", 4, u"wince"}};
    for (const auto& c : cases) {
        ScopedEnv type("ORVI_PLATFORM_TYPE", c.platformType);
        CDeviceInfo info;
        EXPECT_EQ(info.PlatformKind(), c.kind) << c.platformType;
        EXPECT_EQ(std::u16string(info.PlatformShortName()), c.tag) << c.platformType;
    }
}

TEST(CDeviceInfo, UnknownKindIsAskedForAgainAndKnownKindIsKept) {
    CDeviceInfo info;
    {
        ScopedEnv none("ORVI_PLATFORM_TYPE", "");  // the platform has no type text
        EXPECT_EQ(info.PlatformKind(), 0);
        EXPECT_EQ(std::u16string(info.PlatformShortName()), u"");
    }
    ScopedEnv type("ORVI_PLATFORM_TYPE", "smartphone");
    EXPECT_EQ(info.PlatformKind(), 2);
    ScopedEnv changed("ORVI_PLATFORM_TYPE", "PocketPC");
    EXPECT_EQ(info.PlatformKind(), 2);  // cached once known
}

TEST(CDeviceInfo, OemTextIsTheFirstAnswerOrASpace) {
    {
        ScopedEnv oem("ORVI_OEM_INFO", "Test Handheld 3");
        CDeviceInfo info;
        EXPECT_EQ(std::u16string(info.OemInfo()), u"Test Handheld 3");
        ScopedEnv later("ORVI_OEM_INFO", "Other");
        EXPECT_EQ(std::u16string(info.OemInfo()), u"Test Handheld 3");
    }
    ScopedEnv none("ORVI_OEM_INFO", "");
    CDeviceInfo info;
    EXPECT_EQ(std::u16string(info.OemInfo()), u" ");
}

TEST(CDeviceInfo, DesktopPassThroughDependsOnThePeerAndTheVersion) {
    struct Case {
        const char* peer;
        const char* version;
        BOOL passThrough;
    } cases[] = {{"192.168.55.101", "5.2", FALSE}, {"192.168.55.101", "4.2", TRUE},
                 {"169.254.2.1", "5.2", TRUE},     {"169.254.2.1", "4.2", FALSE},
                 {nullptr, "5.2", FALSE}};
    for (const auto& c : cases) {
        ScopedEnv peer("ORVI_PPP_PEER", c.peer);
        ScopedEnv version("ORVI_OS_VERSION", c.version);
        CDeviceInfo info;
        EXPECT_EQ(info.IsDesktopPassThrough(), c.passThrough) << (c.peer ? c.peer : "none") << " v" << c.version;
    }
}

TEST(CDeviceInfo, NetworkAddressIsJudgedByTheFirstOctet) {
    {
        // No host name: only the peer fallback can answer.
        ScopedEnv host("ORVI_HOST_NAME", "");
        ScopedEnv peer("ORVI_PPP_PEER", "10.1.2.3");
        CDeviceInfo info;
        EXPECT_FALSE(info.HasNetworkAddress(FALSE));
        EXPECT_TRUE(info.HasNetworkAddress(TRUE));
    }
    {
        ScopedEnv host("ORVI_HOST_NAME", "");
        ScopedEnv peer("ORVI_PPP_PEER", "127.0.0.2");
        CDeviceInfo info;
        EXPECT_FALSE(info.HasNetworkAddress(TRUE));
    }
}

}  // namespace
