// The environment and options files: where they are, what is read, what is
// written back and what each failure logs.
#include <gtest/gtest.h>

#include <random>

#include "CRadioConfig.h"
#include "DeviceInfo.h"
#include "LogTestSupport.h"
#include "OrviXml.h"
#include "comptr.h"

namespace orvi::test {
namespace {

// The test program runs from "\Windows\", so that is the program folder.
constexpr char kEnvironmentFile[] = "\\Windows\\Calvaro.xml";

std::string Environment(const std::string& environmentParams, const std::string& options) {
    return "<?xml version=\"1.0\"?><orvi><environment>" + environmentParams + "</environment>" +
           options + "</orvi>";
}

class RadioConfigTest : public LoggedDeviceTest {
protected:
    CRadioConfig m_config;
};

using Load = RadioConfigTest;

TEST_F(Load, OptionsFromTheEnvironmentFileUntilTheFirstSave) {
    WriteDevice(kEnvironmentFile,
          Environment("<param name='directory-url' value='http://127.0.0.1:8642/d.opml'/>"
                      "<param name='file-favorite' value='fav.opml'/>",
                      "<options><param name='volume' value='55'/><param name='flags' value='9'/>"
                      "<param name='channel-timeout' value='3600'/><param name='cache-timeout' "
                      "value='-5'/><param name='email' value='me@example.org'/>"
                      "<param name='storage-path' value='\\Storage Card'/></options>"));
    ASSERT_TRUE(m_config.Load());
    EXPECT_EQ(u"\\Windows\\Calvaro.xml", std::u16string(m_config.environmentFile));
    EXPECT_EQ(u"http://127.0.0.1:8642/d.opml", std::u16string(m_config.directoryUrl));
    EXPECT_EQ(u"fav.opml", std::u16string(m_config.fileFavorite));
    EXPECT_EQ(u"", std::u16string(m_config.searchUrl));
    EXPECT_EQ(55, m_config.options.volume);
    EXPECT_EQ(9, m_config.options.flags);
    EXPECT_EQ(3600, m_config.options.channelTimeout);
    EXPECT_EQ(-5, m_config.options.cacheTimeout);
    EXPECT_EQ(u"me@example.org", std::u16string(m_config.options.email));
    EXPECT_EQ(u"\\Storage Card", std::u16string(m_config.options.storagePath));
    EXPECT_FALSE(HostFileExists(m_root.Host("\\Windows\\Calvaro.option.xml")));

    // The data folder is made on the way.
    EXPECT_EQ(u"\\Application Data\\Calvaro\\", std::u16string(m_config.dataFolder));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
              GetFileAttributesW(u"\\Application Data\\Calvaro") & FILE_ATTRIBUTE_DIRECTORY);

    m_config.options.volume = 60;
    ASSERT_TRUE(m_config.SaveOptions());
    const std::string saved = ReadDevice("\\Windows\\Calvaro.option.xml");
    EXPECT_NE(std::string::npos, saved.find("<param name=\"volume\" value=\"60\""));
    EXPECT_EQ(std::string::npos, saved.find("environment"));
    CRadioConfig again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(60, again.options.volume);
}

TEST_F(Load, NamedOptionsFileIsReadAndWritten) {
    WriteDevice(kEnvironmentFile, Environment("<param name='file-option' value='mine.xml'/>",
                                        "<options><param name='volume' value='1'/></options>"));
    WriteDevice("\\Windows\\mine.xml", "<orvi><options><param name='volume' value='35'/></options></orvi>");
    WriteDevice("\\Windows\\Calvaro.option.xml",
          "<orvi><options><param name='volume' value='99'/></options></orvi>");
    ASSERT_TRUE(m_config.Load());
    EXPECT_EQ(35, m_config.options.volume);
    EXPECT_EQ(u"\\Windows\\mine.xml", m_config.OptionsFilePath());
    m_config.options.volume = 40;
    ASSERT_TRUE(m_config.SaveOptions());
    EXPECT_NE(std::string::npos, ReadDevice("\\Windows\\mine.xml").find("value=\"40\""));
    EXPECT_NE(std::string::npos, ReadDevice("\\Windows\\Calvaro.option.xml").find("value='99'"));
}

TEST_F(Load, EmptyOptionsSectionGivesZerosAndEmptyTexts) {
    WriteDevice(kEnvironmentFile, Environment("", ""));
    WriteDevice("\\Windows\\Calvaro.option.xml", "<orvi><options/></orvi>");
    ASSERT_TRUE(m_config.Load());
    EXPECT_EQ(0, m_config.options.volume);
    EXPECT_EQ(0, m_config.options.channelTimeout);
    EXPECT_EQ(0, m_config.options.cacheTimeout);
    EXPECT_EQ(0, m_config.options.flags);
    EXPECT_EQ(u"", std::u16string(m_config.options.email));
    EXPECT_EQ(u"", std::u16string(m_config.options.storagePath));
}

TEST_F(Load, OverlongTextIsCutToItsBuffer) {
    const std::string url = "http://127.0.0.1/" + std::string(400, 'a');
    WriteDevice(kEnvironmentFile, Environment("<param name='help-url' value='" + url + "'/>", "<options/>"));
    ASSERT_TRUE(m_config.Load());
    EXPECT_EQ(std::u16string(url.begin(), url.begin() + MAX_PATH - 1), std::u16string(m_config.helpUrl));
}

struct FailureCase {
    const char* name;
    const char* environment;  // nullptr: no environment file
    const char* options;      // nullptr: no options file
    const char16_t* logLine;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class LoadFailure : public RadioConfigTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(LoadFailure, FailsAndLogsWhy) {
    const FailureCase& c = GetParam();
    if (c.environment)
        WriteDevice(kEnvironmentFile, c.environment);
    if (c.options)
        WriteDevice("\\Windows\\Calvaro.option.xml", c.options);
    EXPECT_FALSE(m_config.Load());
    EXPECT_EQ(std::u16string(c.logLine), LogText());
}

INSTANTIATE_TEST_SUITE_P(
    Load, LoadFailure,
    testing::Values(
        FailureCase{"MissingEnvironment", nullptr, nullptr,
                    u"Load config file failed(err=2): \\Windows\\Calvaro.xml\r\n"},
        FailureCase{"MalformedEnvironment", "<orvi><environment></orvi>", nullptr,
                    u"The config file is format invalid(err=0): \\Windows\\Calvaro.xml\r\n"},
        FailureCase{"NoEnvironmentSection", "<orvi><options/></orvi>", nullptr,
                    u"The config.xml file miss \"orvi/environment\" node!(err=0)\r\n"},
        FailureCase{"MalformedOptions", "<orvi><environment/><options/></orvi>", "<orvi><options>",
                    u"The option file is format invalid(err=0): \\Windows\\Calvaro.option.xml\r\n"},
        FailureCase{"NoOptionsSection", "<orvi><environment/><options/></orvi>", "<orvi/>",
                    u"The config file miss \"orvi/options\" node!(err=0)\r\n"},
        FailureCase{"NoOptionsAnywhere", "<orvi><environment/></orvi>", nullptr,
                    // the look-up of the absent options file set the error
                    u"The config file miss \"orvi/options\" node!(err=2)\r\n"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

using SaveOptions = RadioConfigTest;

TEST_F(SaveOptions, ReadOnlyFileIsMadeWritableAndRewritten) {
    WriteDevice(kEnvironmentFile, Environment("", "<options/>"));
    WriteDevice("\\Windows\\Calvaro.option.xml", "<orvi><options><param name='volume' value='5'/></options></orvi>");
    ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\Calvaro.option.xml", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(m_config.Load());
    m_config.options.volume = 10;
    ASSERT_TRUE(m_config.SaveOptions());
    EXPECT_NE(std::string::npos, ReadDevice("\\Windows\\Calvaro.option.xml").find("value=\"10\""));
    EXPECT_EQ(0u, GetFileAttributesW(u"\\Windows\\Calvaro.option.xml") & FILE_ATTRIBUTE_READONLY);
}

TEST_F(SaveOptions, FailureIsLoggedAndLeavesTheOldFile) {
    WriteDevice(kEnvironmentFile, Environment("<param name='file-option' value='sub\\opts.xml'/>", "<options/>"));
    ASSERT_TRUE(m_config.Load());  // options come from the environment: no such folder
    EXPECT_FALSE(m_config.SaveOptions());
    EXPECT_EQ(u"Can't save the config file: \\Windows\\sub\\opts.xml!\terr=3\r\n", LogText());
}

TEST_F(SaveOptions, RoundTripGivesBackEveryValue) {
    WriteDevice(kEnvironmentFile, Environment("", "<options/>"));
    std::mt19937 random(20261207);
    const std::u16string emails[] = {u"j\u00fcrgen@b\u00e4cker.de", u"\u738b\u4f1f@\u4f8b\u5b50.cn",
                                     u"a&b<c>\"d'@x.org", u"\U0001F3B5@music.example", u""};
    for (const std::u16string& email : emails) {
        ASSERT_TRUE(m_config.Load());
        RadioOptions written{};
        StringCchCopyW(written.email, MAX_PATH, email.c_str());
        StringCchCopyW(written.storagePath, MAX_PATH, u"\\Storage Card\\R\u00e4dio");
        written.flags = static_cast<LONG>(random());
        written.channelTimeout = -static_cast<LONG>(random() % 100000);
        written.cacheTimeout = static_cast<LONG>(random() % 100000);
        written.volume = static_cast<LONG>(random() % 101);
        m_config.options = written;
        ASSERT_TRUE(m_config.SaveOptions());
        CRadioConfig reread;
        ASSERT_TRUE(reread.Load());
        EXPECT_EQ(0, std::memcmp(&written, &reread.options, sizeof written)) << "e-mail " << email.size();
    }
}

using ResolvePattern = RadioConfigTest;

TEST_F(ResolvePattern, ScreenSizeNameWhenItExistsElseDpiName) {
    WriteDevice(kEnvironmentFile, Environment("<param name='file-theme' value='skin?.xml'/>", "<options/>"));
    ASSERT_TRUE(m_config.Load());
    // The default device: a 240 x 320 Pocket PC at 96 dpi.
    ASSERT_EQ(240, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(u"PPC", std::u16string(g_deviceInfo.PlatformShortName()));
    EXPECT_EQ(u"\\Windows\\skinPPC96.xml", std::u16string(m_config.skinFile));  // need not exist
    WriteDevice("\\Windows\\skinPPC240x320.xml", "<skin/>");
    EXPECT_EQ(u"\\Windows\\skinPPC240x320.xml", m_config.ResolvePattern(u"skin?.xml"));
    EXPECT_EQ(u"\\Windows\\cache_PPC96_PPC96.xml", m_config.ResolvePattern(u"cache_?_?.xml"));
    EXPECT_EQ(u"\\Windows\\plain.xml", m_config.ResolvePattern(u"plain.xml"));
}

}  // namespace
}  // namespace orvi::test
