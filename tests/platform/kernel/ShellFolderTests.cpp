// The shell's special folders and the temporary folder: their device paths,
// creation on request, and refusal of unknown folders.
#include <cstring>
#include <filesystem>
#include <string>

#include "FileTestSupport.h"

using orvi::test::TempDeviceRoot;
namespace fs = std::filesystem;
using namespace orvi::test::files;

namespace {

struct Folder {
    int csidl;
    const char16_t* device;
    const char* host;
};

// The device's folders as its documentation names them.
constexpr Folder kFolders[] = {
    {CSIDL_APPDATA, u"\\Application Data", "/Application Data"},
    {CSIDL_PROGRAM_FILES, u"\\Program Files", "/Program Files"},
    {CSIDL_WINDOWS, u"\\Windows", "/Windows"},
    {CSIDL_PERSONAL, u"\\My Documents", "/My Documents"},
    {CSIDL_STARTUP, u"\\Windows\\StartUp", "/Windows/StartUp"},
    {CSIDL_STARTMENU, u"\\Windows\\Start Menu", "/Windows/Start Menu"},
    {CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs", "/Windows/Start Menu/Programs"},
    {CSIDL_FONTS, u"\\Windows\\Fonts", "/Windows/Fonts"},
};

}  // namespace

TEST(SHGetSpecialFolderPath, AnswersEachFolderAndCreatesItOnlyOnRequest) {
    TempDeviceRoot root;
    for (const auto& folder : kFolders) {
        WCHAR path[MAX_PATH];
        std::fill(std::begin(path), std::end(path), u'#');
        EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, folder.csidl, FALSE)) << folder.host;
        EXPECT_EQ(std::u16string(path), folder.device);
        EXPECT_FALSE(fs::exists(root.HostPath() + folder.host)) << folder.host;
    }
    // Creating makes the parents too, and asking again finds them.
    for (const auto& folder : kFolders) {
        WCHAR path[MAX_PATH];
        EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, folder.csidl, TRUE)) << folder.host;
        EXPECT_EQ(GetFileAttributesW(path), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY)) << folder.host;
    }
}

TEST(SHGetSpecialFolderPath, CreateFlagInTheFolderNumberCreatesToo) {
    TempDeviceRoot root;
    WCHAR path[MAX_PATH];
    EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_APPDATA | CSIDL_FLAG_CREATE, FALSE));
    EXPECT_EQ(std::u16string(path), u"\\Application Data");
    EXPECT_TRUE(fs::is_directory(root.HostPath() + "/Application Data"));
}

TEST(SHGetSpecialFolderPath, UsesAnExistingFolderSpelledDifferently) {
    TempDeviceRoot root;
    fs::create_directories(root.HostPath() + "/WINDOWS/start menu");
    WCHAR path[MAX_PATH];
    EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_PROGRAMS, TRUE));
    EXPECT_EQ(HostNames(root.HostPath()), std::set<std::string>{"WINDOWS"});
    EXPECT_TRUE(fs::is_directory(root.HostPath() + "/WINDOWS/start menu/Programs"));
}

TEST(SHGetSpecialFolderPath, RefusesUnknownFoldersAndFilesInTheWay) {
    TempDeviceRoot root;
    WCHAR path[MAX_PATH] = u"untouched";
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, 0x99, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(std::u16string(path), u"untouched");
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, nullptr, CSIDL_APPDATA, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(fs::exists(root.HostPath() + "/Application Data"));
    WriteHost(root.HostPath() + "/Windows", "not a folder");
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, CSIDL_FONTS, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ReadHost(root.HostPath() + "/Windows"), "not a folder");
}

TEST(GetTempPathW, AnswersTheTempFolderReadyForUseAndTheSizeNeeded) {
    TempDeviceRoot root;
    WCHAR path[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, path);
    EXPECT_EQ(std::u16string(path), u"\\Temp\\");
    EXPECT_EQ(length, std::char_traits<char16_t>::length(path));
    std::u16string file = std::u16string(path) + u"scratch.tmp";
    HANDLE h = Open(file.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(fs::exists(root.HostPath() + "/Temp/scratch.tmp"));
    // A short buffer is left alone and told the size needed.
    WCHAR shortBuffer[4] = u"abc";
    EXPECT_EQ(GetTempPathW(4, shortBuffer), length + 1);
    EXPECT_EQ(std::u16string(shortBuffer), u"abc");
    EXPECT_EQ(GetTempPathW(length + 1, path), length);
}
