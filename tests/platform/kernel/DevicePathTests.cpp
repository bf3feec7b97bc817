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
    for (std::u16string path : {u"\\a\\b.txt", u"/a/b.txt", u"a\\b.txt", u"\\\\a\\\\\\b.txt",
                                u"\\.\\a\\.\\b.txt", u"\\a\\c\\..\\b.txt"})
        EXPECT_EQ(HostOf(path), expected) << orvi::kernel::Utf16ToUtf8(path);
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
    // Letters beyond ASCII fold too: "äRGER\αθήνα" against "Ärger/Αθήνα" on the host.
    const std::string folded = root.HostPath() + "/\xC3\x84rger/\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1";
    fs::create_directories(folded);
    EXPECT_EQ(HostOf(u"\\\u00E4RGER\\\u03B1\u03B8\u03AE\u03BD\u03B1"), folded);
    // Among host twins the exact spelling wins; otherwise the same one every time.
    files::WriteHost(root.Host("\\twin.txt"), "lower");
    files::WriteHost(root.Host("\\TWIN.txt"), "upper");
    EXPECT_EQ(HostOf(u"\\TWIN.txt"), root.HostPath() + "/TWIN.txt");
    EXPECT_EQ(HostOf(u"\\twin.txt"), root.HostPath() + "/twin.txt");
    EXPECT_EQ(HostOf(u"\\Twin.TXT"), HostOf(u"\\tWIN.txt"));
}

TEST(DevicePathToHost, RefusesPathsThatLeaveTheRoot) {
    TempDeviceRoot root;
    files::OutsideFolder outside(root);
    fs::create_directories(root.HostPath() + "/a");
    fs::create_directory_symlink(outside.Path(), root.HostPath() + "/out");
    fs::create_directory_symlink(root.HostPath(), root.HostPath() + "/self");
    fs::create_symlink(root.HostPath() + "/nowhere", root.HostPath() + "/dangling");
    files::WriteHost(root.HostPath() + "/.runtime/lock", "");
    // A link back to the root opens no way into the runtime folder, and a
    // dangling link could create a file anywhere.
    for (std::u16string path : {u"\\..\\x", u"\\a\\..\\..\\x", u"..", u"\\OUT\\x.txt", u"\\.RunTime\\lock",
                                u"\\self\\.runtime\\lock", u"\\dangling"})
        EXPECT_EQ(HostOf(path), ErrorText(ERROR_ACCESS_DENIED)) << orvi::kernel::Utf16ToUtf8(path);
}

TEST(DevicePathToHost, FollowsLinksThatStayInside) {
    TempDeviceRoot root;
    files::WriteHost(root.Host("\\real\\file.txt"), "x");
    fs::create_directory_symlink(root.HostPath() + "/real", root.HostPath() + "/alias");
    EXPECT_EQ(HostOf(u"\\alias\\FILE.txt"), root.HostPath() + "/alias/file.txt");
}

TEST(DevicePathToHost, RefusesBadNamesAndOverlongPaths) {
    TempDeviceRoot root;
    for (std::u16string bad : {u"\\a<b", u"\\a:b", u"\\a|b", u"\\a?b", u"\\dir*\\x", u"\\a\tb"})
        EXPECT_EQ(HostOf(bad), ErrorText(ERROR_INVALID_NAME)) << orvi::kernel::Utf16ToUtf8(bad);
    EXPECT_EQ(HostOf(u""), ErrorText(ERROR_PATH_NOT_FOUND));
    std::u16string fits = u"\\" + std::u16string(MAX_PATH - 2, u'a');  // 259 with the '\'
    EXPECT_EQ(HostOf(fits), root.HostPath() + "/" + std::string(MAX_PATH - 2, 'a'));
    EXPECT_EQ(HostOf(fits + u"a"), ErrorText(ERROR_FILENAME_EXCED_RANGE));
}

TEST(HostPathToDevice, AnswersDevicePathsForHostPathsInsideTheRoot) {
    TempDeviceRoot root;
    std::u16string device;
    ASSERT_TRUE(HostPathToDevice(root.HostPath(), device));
    EXPECT_EQ(device, u"\\");
    ASSERT_TRUE(HostPathToDevice(root.HostPath() + "/a/./b/../c.txt", device));
    EXPECT_EQ(device, u"\\a\\c.txt");
    ASSERT_TRUE(HostPathToDevice(fs::canonical(root.HostPath()).string() + "/x", device));
    EXPECT_EQ(device, u"\\x");
    // Round trip with DevicePathToHost gives the host's spelling.
    files::WriteHost(root.Host("\\My Documents\\Notes.txt"), "x");
    ASSERT_TRUE(HostPathToDevice(HostOf(u"\\my documents\\notes.TXT"), device));
    EXPECT_EQ(device, u"\\My Documents\\Notes.txt");
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
