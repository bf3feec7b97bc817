// Device paths to host paths and back: case-insensitive lookup, the root as
// a boundary that neither ".." nor a link may cross, and refused names.
#include <filesystem>
#include <string>

#include "internal.h"
#include "FileTestSupport.h"

using orvi::kernel::DevicePathToHost;
using orvi::kernel::HostPathToDevice;
using orvi::test::TempDeviceRoot;
namespace fs = std::filesystem;
namespace files = orvi::test::files;

namespace {

// Host path of a device path, or "<error N>" with the last error.
std::string HostOf(std::u16string_view devicePath) {
    std::string host;
    SetLastError(0xBEEF);
    if (!DevicePathToHost(devicePath, host))
        return "<error " + std::to_string(GetLastError()) + ">";
    return host;
}

std::string ErrorText(DWORD code) { return "<error " + std::to_string(code) + ">"; }

}  // namespace

TEST(DevicePathToHost, MapsSeparatorsAndRelativePathsBelowTheRoot) {
    TempDeviceRoot root;
    const std::string expected = root.HostPath() + "/a/b.txt";
    EXPECT_EQ(HostOf(u"\\a\\b.txt"), expected);
    EXPECT_EQ(HostOf(u"/a/b.txt"), expected);
    EXPECT_EQ(HostOf(u"a\\b.txt"), expected);
    EXPECT_EQ(HostOf(u"\\\\a\\\\\\b.txt"), expected);
    EXPECT_EQ(HostOf(u"\\.\\a\\.\\b.txt"), expected);
    EXPECT_EQ(HostOf(u"\\a\\c\\..\\b.txt"), expected);
    EXPECT_EQ(HostOf(u"\\"), root.HostPath());
}

TEST(DevicePathToHost, FindsExistingComponentsIgnoringCase) {
    TempDeviceRoot root;
    files::WriteHost(root.Host("\\Foo\\BAR.txt"), "x");
    EXPECT_EQ(HostOf(u"\\foo\\bar.TXT"), root.HostPath() + "/Foo/BAR.txt");
    // A missing leaf keeps the caller's case under the existing folder's.
    EXPECT_EQ(HostOf(u"\\FOO\\New.Txt"), root.HostPath() + "/Foo/New.Txt");
    // Below a missing folder nothing is looked up.
    EXPECT_EQ(HostOf(u"\\foo\\Missing\\bar.TXT"), root.HostPath() + "/Foo/Missing/bar.TXT");
}

TEST(DevicePathToHost, FoldsLettersBeyondAscii) {
    TempDeviceRoot root;
    fs::create_directories(root.HostPath() + "/\xC3\x84rger/\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1/"
                                             "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
    // "äRGER\αθήνα\МОСКВА" against "Ärger/Αθήνα/Москва" on the host.
    std::string host = HostOf(u"\\\u00E4RGER\\\u03B1\u03B8\u03AE\u03BD\u03B1\\\u041C\u041E\u0421\u041A\u0412\u0410");
    EXPECT_EQ(host, root.HostPath() + "/\xC3\x84rger/\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1/"
                                      "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0");
}

TEST(DevicePathToHost, PrefersTheExactSpellingAmongHostTwins) {
    TempDeviceRoot root;
    files::WriteHost(root.Host("\\twin.txt"), "lower");
    files::WriteHost(root.Host("\\TWIN.txt"), "upper");
    EXPECT_EQ(HostOf(u"\\TWIN.txt"), root.HostPath() + "/TWIN.txt");
    EXPECT_EQ(HostOf(u"\\twin.txt"), root.HostPath() + "/twin.txt");
    // Neither spelled as given: the same one every time.
    EXPECT_EQ(HostOf(u"\\Twin.TXT"), HostOf(u"\\tWIN.txt"));
}

TEST(DevicePathToHost, RefusesPathsThatLeaveTheRoot) {
    TempDeviceRoot root;
    files::OutsideFolder outside(root);
    fs::create_directories(root.HostPath() + "/a");
    fs::create_directory_symlink(outside.Path(), root.HostPath() + "/out");
    files::WriteHost(root.HostPath() + "/.runtime/lock", "");

    const std::string denied = ErrorText(ERROR_ACCESS_DENIED);
    EXPECT_EQ(HostOf(u"\\..\\x"), denied);
    EXPECT_EQ(HostOf(u"\\a\\..\\..\\x"), denied);
    EXPECT_EQ(HostOf(u".."), denied);
    EXPECT_EQ(HostOf(u"\\out"), denied);
    EXPECT_EQ(HostOf(u"\\OUT\\x.txt"), denied);
    EXPECT_EQ(HostOf(u"\\.runtime\\lock"), denied);
    EXPECT_EQ(HostOf(u"\\.RunTime"), denied);
}

TEST(DevicePathToHost, FollowsLinksThatStayInside) {
    TempDeviceRoot root;
    files::WriteHost(root.Host("\\real\\file.txt"), "x");
    fs::create_directory_symlink(root.HostPath() + "/real", root.HostPath() + "/alias");
    fs::create_directory_symlink(root.HostPath(), root.HostPath() + "/self");
    EXPECT_EQ(HostOf(u"\\alias\\FILE.txt"), root.HostPath() + "/alias/file.txt");
    // A link back to the root does not open a way into the runtime folder.
    files::WriteHost(root.HostPath() + "/.runtime/lock", "");
    EXPECT_EQ(HostOf(u"\\self\\.runtime\\lock"), ErrorText(ERROR_ACCESS_DENIED));
    // A dangling link could create a file anywhere.
    fs::create_symlink(root.HostPath() + "/nowhere", root.HostPath() + "/dangling");
    EXPECT_EQ(HostOf(u"\\dangling"), ErrorText(ERROR_ACCESS_DENIED));
}

TEST(DevicePathToHost, RefusesNamesTheDeviceCannotHold) {
    TempDeviceRoot root;
    for (std::u16string bad : {u"\\a<b", u"\\a>b", u"\\a:b", u"\\a\"b", u"\\a|b", u"\\a?b",
                               u"\\a*b", u"\\dir*\\x", u"\\a\tb"}) {
        EXPECT_EQ(HostOf(bad), ErrorText(ERROR_INVALID_NAME)) << orvi::kernel::Utf16ToUtf8(bad);
    }
    EXPECT_EQ(HostOf(u""), ErrorText(ERROR_PATH_NOT_FOUND));
}

TEST(DevicePathToHost, LimitsPathsToMaxPath) {
    TempDeviceRoot root;
    std::u16string fits = u"\\" + std::u16string(MAX_PATH - 2, u'a');  // 259 with the '\'
    std::u16string tooLong = fits + u"a";
    EXPECT_EQ(HostOf(fits), root.HostPath() + "/" + std::string(MAX_PATH - 2, 'a'));
    EXPECT_EQ(HostOf(tooLong), ErrorText(ERROR_FILENAME_EXCED_RANGE));
}

TEST(HostPathToDevice, AnswersDevicePathsForHostPathsInsideTheRoot) {
    TempDeviceRoot root;
    std::u16string device;
    ASSERT_TRUE(HostPathToDevice(root.HostPath() + "/Program Files/Calvaro/Calvaro.exe", device));
    EXPECT_EQ(device, u"\\Program Files\\Calvaro\\Calvaro.exe");
    ASSERT_TRUE(HostPathToDevice(root.HostPath(), device));
    EXPECT_EQ(device, u"\\");
    ASSERT_TRUE(HostPathToDevice(root.HostPath() + "/a/./b/../c.txt", device));
    EXPECT_EQ(device, u"\\a\\c.txt");
    ASSERT_TRUE(HostPathToDevice(fs::canonical(root.HostPath()).string() + "/x", device));
    EXPECT_EQ(device, u"\\x");
}

TEST(HostPathToDevice, RejectsHostPathsOutsideTheDevice) {
    TempDeviceRoot root;
    std::u16string device = u"unchanged";
    EXPECT_FALSE(HostPathToDevice("/etc/passwd", device));
    EXPECT_FALSE(HostPathToDevice(root.HostPath() + "-sibling/x", device));
    EXPECT_FALSE(HostPathToDevice(root.HostPath() + "/../x", device));
    EXPECT_FALSE(HostPathToDevice(root.HostPath() + "/.runtime/lock", device));
    EXPECT_EQ(device, u"unchanged");
}

TEST(HostPathToDevice, RoundTripsWithDevicePathToHost) {
    TempDeviceRoot root;
    files::WriteHost(root.Host("\\My Documents\\Notes.txt"), "x");
    std::string host = HostOf(u"\\my documents\\notes.TXT");
    std::u16string device;
    ASSERT_TRUE(HostPathToDevice(host, device));
    EXPECT_EQ(device, u"\\My Documents\\Notes.txt");
}
