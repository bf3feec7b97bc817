// Enumeration: wildcard patterns, what is never reported (".", "..", the
// runtime folder, links out of the device), the record's fields and the
// handle's life.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FileTestSupport.h"

using orvi::test::TempDeviceRoot;
namespace fs = std::filesystem;
using namespace orvi::test::files;

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// Every name FindFirstFileW/FindNextFileW report for pattern, in order;
// {"<error N>"} when FindFirstFileW fails.
std::vector<std::string> FindAll(LPCWSTR pattern) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE)
        return {"<error " + std::to_string(GetLastError()) + ">"};
    std::vector<std::string> names;
    do {
        names.push_back(Narrow(data.cFileName));
    } while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(FindFirstFileW, MatchesStarAndQuestionMarkIgnoringCase) {
    TempDeviceRoot root;
    for (const char* name : {"abc.txt", "aXc.doc", "ABC", "ac.txt", "abbc.txt", "B.TXT", "notes.txt.bak"})
        WriteHost(root.Host(std::string("\\q\\") + name), "");
    fs::create_directories(root.Host("\\q\\d.txt"));
    EXPECT_EQ(FindAll(u"\\q\\*.txt"), (Names{"abbc.txt", "abc.txt", "ac.txt", "B.TXT", "d.txt"}));
    EXPECT_EQ(FindAll(u"/Q/B.txt"), (Names{"B.TXT"}));
    // A trailing ".*" also matches names without any dot.
    EXPECT_EQ(FindAll(u"\\q\\a?c.*"), (Names{"ABC", "abc.txt", "aXc.doc"}));
    EXPECT_EQ(FindAll(u"\\q\\a?c"), (Names{"ABC"}));
    EXPECT_EQ(FindAll(u"\\q\\*.*").size(), 8u);
}

TEST(FindFirstFileW, NeverReportsDotsRuntimeOrTemporaryFiles) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\visible.txt"), "");
    WriteHost(root.Host("\\.hidden"), "");
    WriteHost(root.HostPath() + "/.runtime/lock", "");
    WriteHost(root.HostPath() + "/.~orvi-AbC123", "half-written save");
    fs::create_directories(root.Host("\\sub\\.runtime"));
    EXPECT_EQ(FindAll(u"\\*"), (Names{".hidden", "sub", "visible.txt"}));
    EXPECT_EQ(FindAll(u"\\*.*"), (Names{".hidden", "sub", "visible.txt"}));
    // Only the root's runtime folder is the host's.
    EXPECT_EQ(FindAll(u"\\sub\\*"), (Names{".runtime"}));
    EXPECT_EQ(FindAll(u"\\.runtime"), (Names{"<error 2>"}));
}

TEST(FindFirstFileW, SkipsLinksOutOfTheDevice) {
    TempDeviceRoot root;
    OutsideFolder outside(root);
    WriteHost(outside.Path() + "/secret.txt", "secret");
    WriteHost(root.Host("\\l\\inside.txt"), "x");
    fs::create_directory_symlink(outside.Path(), root.Host("\\l\\out"));
    fs::create_symlink(outside.Path() + "/secret.txt", root.Host("\\l\\secret.txt"));
    fs::create_symlink(root.Host("\\l\\inside.txt"), root.Host("\\l\\alias.txt"));
    EXPECT_EQ(FindAll(u"\\l\\*"), (Names{"alias.txt", "inside.txt"}));
    EXPECT_EQ(FindAll(u"\\l\\out\\*"), (Names{"<error 5>"}));
}

TEST(FindFirstFileW, FillsTheRecord) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\Rec\\Data.Bin"), std::string(1234, 'x'));
    WriteHost(root.Host("\\Rec\\.hidden"), "");
    fs::create_directories(root.Host("\\Rec\\Folder"));
    MakeReadOnly(root.Host("\\Rec\\Data.Bin"));
    HANDLE file = Open(u"\\rec\\data.bin", GENERIC_READ);
    FILETIME created{}, accessed{}, written{};
    ASSERT_TRUE(GetFileTime(file, &created, &accessed, &written));
    CloseHandle(file);

    WIN32_FIND_DATAW data;
    std::memset(&data, 0xAB, sizeof data);
    HANDLE h = FindFirstFileW(u"\\rec\\*", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Narrow(data.cFileName), ".hidden");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(FindNextFileW(h, &data));
    EXPECT_EQ(Narrow(data.cFileName), "Data.Bin");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(data.nFileSizeLow, 1234u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(Ticks(data.ftLastWriteTime), Ticks(written));
    EXPECT_EQ(Ticks(data.ftCreationTime), Ticks(created));
    EXPECT_EQ(Ticks(data.ftLastAccessTime), Ticks(accessed));
    ASSERT_TRUE(FindNextFileW(h, &data));
    EXPECT_EQ(Narrow(data.cFileName), "Folder");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(data.nFileSizeLow, 0u);
    // The end stays the end.
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
}

TEST(FindFirstFileW, ReportsNoMatchAndMissingFolder) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\dir\\a.txt"), "");
    WriteHost(root.Host("\\file.txt"), "");
    EXPECT_EQ(FindAll(u"\\dir\\*.doc"), (Names{"<error 2>"}));
    EXPECT_EQ(FindAll(u"\\dir\\"), (Names{"<error 2>"}));
    EXPECT_EQ(FindAll(u"\\nodir\\*"), (Names{"<error 3>"}));
    EXPECT_EQ(FindAll(u"\\file.txt\\*"), (Names{"<error 3>"}));
    EXPECT_EQ(FindAll(u"\\d*r\\*"), (Names{"<error 123>"}));
    EXPECT_EQ(FindAll(u"\\..\\*"), (Names{"<error 5>"}));
    EXPECT_EQ(FindFirstFileW(u"\\dir\\*", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(FindNextFileW, SkipsEntriesRemovedMeanwhile) {
    TempDeviceRoot root;
    for (const char* name : {"1.txt", "2.txt", "3.txt"})
        WriteHost(root.Host(std::string("\\n\\") + name), "");
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\n\\*.txt", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Narrow(data.cFileName), "1.txt");
    fs::remove(root.Host("\\n\\2.txt"));
    ASSERT_TRUE(FindNextFileW(h, &data));
    EXPECT_EQ(Narrow(data.cFileName), "3.txt");
    FindClose(h);
}

TEST(FindClose, ClosesOnlyFindHandlesAndOnlyOnce) {
    TempDeviceRoot root;
    HANDLE file = Open(u"\\f.txt", GENERIC_READ, 0, CREATE_NEW);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindNextFileW(file, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);  // still open
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(file);
}
