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

TEST(FindFirstFileW, MatchesAnExtensionIgnoringCase) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\Docs\\a.txt"), "1");
    WriteHost(root.Host("\\Docs\\B.TXT"), "2");
    WriteHost(root.Host("\\Docs\\c.doc"), "3");
    WriteHost(root.Host("\\Docs\\notes.txt.bak"), "4");
    fs::create_directories(root.Host("\\Docs\\d.txt"));
    EXPECT_EQ(FindAll(u"\\Docs\\*.txt"), (Names{"a.txt", "B.TXT", "d.txt"}));
    EXPECT_EQ(FindAll(u"\\docs\\*.TXT"), (Names{"a.txt", "B.TXT", "d.txt"}));
    EXPECT_EQ(FindAll(u"/DOCS/c.*"), (Names{"c.doc"}));
    EXPECT_EQ(FindAll(u"\\Docs\\b.txt"), (Names{"B.TXT"}));
}

TEST(FindFirstFileW, QuestionMarkMatchesOneCharacter) {
    TempDeviceRoot root;
    for (const char* name : {"abc.txt", "aXc.doc", "ABC", "ac.txt", "abbc.txt", "abc"})
        WriteHost(root.Host(std::string("\\q\\") + name), "");
    // A trailing ".*" also matches names without any dot.
    EXPECT_EQ(FindAll(u"\\q\\a?c.*"), (Names{"ABC", "abc", "abc.txt", "aXc.doc"}));
    EXPECT_EQ(FindAll(u"\\q\\a?c"), (Names{"ABC", "abc"}));
    EXPECT_EQ(FindAll(u"\\q\\*.*").size(), 6u);
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
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(u"\\.hidden", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    FindClose(h);
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
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
}

TEST(FindFirstFileW, ReportsNoMatchAndMissingFolder) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\dir\\a.txt"), "");
    WriteHost(root.Host("\\file.txt"), "");
    fs::create_directories(root.Host("\\empty"));
    EXPECT_EQ(FindAll(u"\\dir\\*.doc"), (Names{"<error 2>"}));
    EXPECT_EQ(FindAll(u"\\empty\\*"), (Names{"<error 2>"}));
    EXPECT_EQ(FindAll(u"\\dir\\"), (Names{"<error 2>"}));
    EXPECT_EQ(FindAll(u"\\nodir\\*"), (Names{"<error 3>"}));
    EXPECT_EQ(FindAll(u"\\file.txt\\*"), (Names{"<error 3>"}));
    EXPECT_EQ(FindAll(u"\\d*r\\*"), (Names{"<error 123>"}));
    EXPECT_EQ(FindAll(u"\\..\\*"), (Names{"<error 5>"}));
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(u"\\dir\\*", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FindFirstFileW(nullptr, &data), INVALID_HANDLE_VALUE);
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
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(h);
}

TEST(FindNextFileW, RejectsHandlesOfOtherKinds) {
    TempDeviceRoot root;
    HANDLE file = Open(u"\\f.txt", GENERIC_READ, 0, CREATE_NEW);
    WIN32_FIND_DATAW data;
    EXPECT_FALSE(FindNextFileW(file, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindNextFileW(INVALID_HANDLE_VALUE, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(file);
}

TEST(FindClose, ClosesOnlyFindHandlesAndOnlyOnce) {
    TempDeviceRoot root;
    HANDLE file = Open(u"\\f.txt", GENERIC_READ, 0, CREATE_NEW);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
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
