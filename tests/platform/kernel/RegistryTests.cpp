// Registry keys and values: create/open/query/set/enum/delete, names that
// ignore case, buffer sizes, deleted keys, persistence across processes,
// concurrent writers and damaged hive files.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "RegistryTestSupport.h"

using namespace orvi::test::registry;
using orvi::test::ChildProcess;
using orvi::test::TempDeviceRoot;
namespace fs = std::filesystem;

namespace {

const std::u16string kRadioFile = u"\\My Documents\\Radio.opml";
const std::vector<BYTE> kBlob = {0x00, 0xFF, 0x10, 0x00, 0x7F};
// Two strings and the closing terminator, as REG_MULTI_SZ stores them.
const std::u16string kList(u"one\0two\0\0", 9);

std::u16string Numbered(const char* prefix, int i) {
    std::string text = prefix + std::to_string(i);
    return std::u16string(text.begin(), text.end());
}

std::string ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

std::vector<std::string> DamagedCopies(const TempDeviceRoot& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(root.HostPath() + "/.runtime/registry"))
        if (entry.path().filename().string().rfind("HKLM.hive.damaged-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

void WriteEveryType(HKEY key) {
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"RadioFile", kRadioFile));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Count", 42));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Blob", 0, REG_BINARY, kBlob.data(), 5));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"List", 0, REG_MULTI_SZ,
                                            reinterpret_cast<const BYTE*>(kList.data()), 18));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, nullptr, u"default"));
}

// 0 when all WriteEveryType wrote is there, else the number of the first
// check that failed.
int CheckEveryType(HKEY key) {
    std::u16string text;
    DWORD number = 0, type = 0;
    std::vector<BYTE> data;
    if (QueryString(key, u"RadioFile", &text) != ERROR_SUCCESS || text != kRadioFile)
        return 1;
    if (QueryDword(key, u"Count", &number) != ERROR_SUCCESS || number != 42)
        return 2;
    if (QueryBytes(key, u"Blob", &data, &type) != ERROR_SUCCESS || data != kBlob || type != REG_BINARY)
        return 3;
    if (QueryBytes(key, u"List", &data, &type) != ERROR_SUCCESS || type != REG_MULTI_SZ || data.size() != 18 ||
        std::memcmp(data.data(), kList.data(), 18) != 0)
        return 4;
    if (QueryString(key, u"", &text) != ERROR_SUCCESS || text != u"default")
        return 5;
    return 0;
}

}  // namespace

ORVI_TEST_CHILD_MAIN(RegistryReadBack) {
    ScopedKey key;
    if (OpenKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key) != ERROR_SUCCESS)
        return 10;
    return CheckEveryType(key);
}

// args: value name prefix, count. Each value is its own open-set-close.
ORVI_TEST_CHILD_MAIN(RegistryWriteMany) {
    for (int i = 0; i < std::stoi(args.at(1)); ++i) {
        ScopedKey key;
        if (CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key) != ERROR_SUCCESS ||
            SetDword(key, Numbered(args.at(0).c_str(), i).c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
            return 10;
    }
    return 0;
}

TEST(RegCreateKeyExW, CreatesIntermediateKeysInSeparateHivesAndReportsDisposition) {
    TempDeviceRoot root;
    ScopedKey created, again, middle, child, byPath;
    DWORD disposition = 0, value = 0;
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &created, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Orvi", &middle));
    // No leading backslash, other case: the same key.
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"software\\ORVI\\calvaro", &again, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_NE(static_cast<HKEY>(created), static_cast<HKEY>(again));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(created, u"Seen", 7));
    EXPECT_EQ(ERROR_SUCCESS, QueryDword(again, u"Seen", &value));
    EXPECT_EQ(7u, value);
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(middle, u"Sub\\Deeper", &child, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, u"Software\\Orvi\\Sub\\Deeper", &byPath));

    // Hives are separate; the zero-extended form of a predefined key names the same hive.
    ScopedKey machine, user, classes, same;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software", &machine));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(machine, u"Where", 1));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, u"Software", &user));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CLASSES_ROOT, u"Software", &classes));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, QueryDword(user, u"Where", &value));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, QueryDword(classes, u"Where", &value));
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)), u"Software", &same));
    EXPECT_EQ(ERROR_SUCCESS, QueryDword(same, u"Where", &value));
}

TEST(RegCreateKeyExW, RejectsBadArgumentsWithoutCreatingAnything) {
    TempDeviceRoot root;
    ScopedKey key, parent;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"A", 0, nullptr, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, CreateKey(reinterpret_cast<HKEY>(0x1234), u"A", &key));
    EXPECT_EQ(nullptr, static_cast<HKEY>(key));
    std::u16string longName(256, u'k');
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(HKEY_LOCAL_MACHINE, (u"Parent\\" + longName).c_str(), &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(HKEY_LOCAL_MACHINE, u"Parent", &parent));
    longName.pop_back();
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, (u"Parent\\" + longName).c_str(), &key));
}

TEST(RegOpenKeyExW, ReopensAndClosesKeysAndReportsMissingOnesAndBadHandles) {
    TempDeviceRoot root;
    HKEY key = reinterpret_cast<HKEY>(0x5678);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Nowhere", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Nowhere", 0, KEY_READ, nullptr));

    ScopedKey created, same, viaEmpty;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &created));
    // An empty or null subkey opens the same key again.
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(created, nullptr, 0, KEY_READ, same.Out()));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(created, u"", 0, KEY_READ, viaEmpty.Out()));
    ASSERT_EQ(ERROR_SUCCESS, SetString(same, u"AppPath", u"\\Program Files\\Calvaro\\Calvaro.exe"));
    std::u16string text;
    EXPECT_EQ(ERROR_SUCCESS, QueryString(viaEmpty, u"AppPath", &text));
    EXPECT_EQ(u"\\Program Files\\Calvaro\\Calvaro.exe", text);
    // Closing one handle leaves the others working; the closed one is refused.
    HKEY closed = same;
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(same));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(same));
    *same.Out() = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, QueryString(created, u"AppPath", &text));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(closed, nullptr, 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegFlushKey(closed));
    // A predefined key ignores closing and still works.
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, same.Out()));
}

TEST(RegOpenKeyExW, NamesIgnoreCaseAndKeepTheirSpelling) {
    TempDeviceRoot root;
    ScopedKey created, opened, accented, software;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\MixedCase\\Ärger", &created));
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\mixedcase", &opened));
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(opened, u"äRGER", &accented));
    WCHAR name[32];
    DWORD cch = 32;
    ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, u"software", &software));
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(software, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"MixedCase"), name);
    EXPECT_EQ(9u, cch);
}

TEST(RegSetValueExW, EveryTypeRoundTripsByteForByteAndBadArgumentsStoreNothing) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    WriteEveryType(key);
    EXPECT_EQ(0, CheckEveryType(key));
    // Stored as given: an expandable string keeps its type and its %s, and a
    // string set without its terminator comes back without one.
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Expand", u"%windir%\\x", REG_EXPAND_SZ));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"ab"), 4));
    std::vector<BYTE> data;
    DWORD type = 0, size = 99;
    EXPECT_EQ(ERROR_SUCCESS, QueryBytes(key, u"Expand", &data, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(22u, data.size());
    EXPECT_EQ(ERROR_SUCCESS, QueryBytes(key, u"Bare", &data, &type));
    EXPECT_EQ((std::vector<BYTE>{'a', 0, 'b', 0}), data);
    // An empty value exists with size 0.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Empty", nullptr, &type, nullptr, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    // Bad arguments store nothing.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExW(key, u"X", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetDword(reinterpret_cast<HKEY>(0x40), u"X", 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetDword(key, std::u16string(16384, u'v').c_str(), 1));
    size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"X", nullptr, nullptr, nullptr, &size));
}

TEST(RegSetValueExW, TwoProcessesAndTwoThreadsWritingAtOnceLoseNothing) {
    TempDeviceRoot root;
    constexpr int kCount = 60;
    ChildProcess child("RegistryWriteMany", {"child", std::to_string(kCount)});
    // Two threads of this process share one handle and write at the same time as the child.
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    std::atomic<int> failures{0};
    auto writer = [&](const char* prefix) {
        for (int i = 0; i < kCount; ++i)
            failures += SetDword(key, Numbered(prefix, i).c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS;
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    ASSERT_EQ(0, child.Wait());
    for (const char* prefix : {"a", "b", "child"})
        for (int i = 0; i < kCount; ++i) {
            DWORD value = 999;
            EXPECT_EQ(ERROR_SUCCESS, QueryDword(key, Numbered(prefix, i).c_str(), &value)) << prefix << i;
            EXPECT_EQ(static_cast<DWORD>(i), value);
        }
}

TEST(RegQueryValueExW, ProcessesSeeEachOthersValuesAtOnce) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    WriteEveryType(key);
    EXPECT_EQ(0, ChildProcess("RegistryReadBack").Wait());
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"child0", 100));
    DWORD value = 0;
    ASSERT_EQ(ERROR_SUCCESS, QueryDword(key, u"child0", &value));
    // The child rewrites the value this process has just read.
    ASSERT_EQ(0, ChildProcess("RegistryWriteMany", {"child", "1"}).Wait());
    EXPECT_EQ(ERROR_SUCCESS, QueryDword(key, u"child0", &value));
    EXPECT_EQ(0u, value);
}

TEST(RegQueryValueExW, SizeQueryAndShortBuffer) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"ThemeFile", u"theme?.xml"));
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"ThemeFile", nullptr, &type, nullptr, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    BYTE buffer[32];
    std::memset(buffer, 0xCC, sizeof buffer);
    size = 21;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"ThemeFile", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(0xCC, buffer[0]);
    size = sizeof buffer;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"ThemeFile", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(0, std::memcmp(buffer, u"theme?.xml", 22));
    EXPECT_EQ(0xCC, buffer[22]);
    // Existence alone, and the argument rules.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"ThemeFile", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"ThemeFile", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(nullptr, u"ThemeFile", nullptr, nullptr, nullptr, &size));
}

TEST(RegEnumValueW, InsertionOrderReplacementShortBuffersAndDeletion) {
    TempDeviceRoot root;
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Zulu", u"first"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"Alpha", u"text"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"Mike", 3));
    // Replacing under another spelling keeps the first spelling and the place.
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key, u"ZULU", 4));
    DWORD value = 0;
    EXPECT_EQ(ERROR_SUCCESS, QueryDword(key, u"zulu", &value));
    EXPECT_EQ(4u, value);
    const char16_t* expected[] = {u"Zulu", u"Alpha", u"Mike"};
    WCHAR name[16];
    DWORD cch = 16, type = 0;
    for (DWORD i = 0; i < 3; ++i, cch = 16) {
        EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, i, name, &cch, nullptr, &type, nullptr, nullptr));
        EXPECT_EQ(std::u16string(expected[i]), name);
        EXPECT_EQ(std::char_traits<char16_t>::length(expected[i]), cch);
        EXPECT_EQ(static_cast<DWORD>(i == 1 ? REG_SZ : REG_DWORD), type);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 3, name, &cch, nullptr, nullptr, nullptr, nullptr));
    // The name needs room for its terminator.
    cch = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 6;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, cch);
    BYTE data[4];
    DWORD size = sizeof data;
    cch = 16;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 1, name, &cch, nullptr, nullptr, data, &size));
    EXPECT_EQ(10u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumValueW(key, 0, nullptr, &cch, nullptr, nullptr, nullptr, nullptr));

    // Deleting removes only that value, whatever the case of its name.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"ALPHA"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Alpha"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueW(nullptr, u"Mike"));
    cch = 16;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"Mike"), name);
    // The default value has the null or the empty name.
    std::u16string text;
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, u"", u"plsfile"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, QueryString(key, u"", &text));
}

TEST(RegEnumKeyExW, CreationOrderNoMoreItemsShortBufferAndKeyInfo) {
    TempDeviceRoot root;
    ScopedKey parent;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_CURRENT_USER, u"Stations", &parent));
    const char16_t* expected[] = {u"Rock", u"Classical", u"Jazz"};
    for (const char16_t* name : expected) {
        ScopedKey created;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(parent, name, &created));
    }
    WCHAR name[16];
    DWORD cch = 16;
    for (DWORD i = 0; i < 3; ++i, cch = 16) {
        WCHAR cls[4] = {u'x', u'x'};
        DWORD cchClass = 4;
        FILETIME written{};
        EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(parent, i, name, &cch, nullptr, cls, &cchClass, &written));
        EXPECT_EQ(std::u16string(expected[i]), name);
        EXPECT_EQ(u'\0', cls[0]);
        EXPECT_EQ(0u, cchClass);
        EXPECT_NE(0u, written.dwHighDateTime);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExW(parent, 3, name, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 9;  // "Classical" needs 10
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(parent, 1, name, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumKeyExW(nullptr, 0, name, &cch, nullptr, nullptr, nullptr, nullptr));

    // The counts and longest lengths of the same key.
    ASSERT_EQ(ERROR_SUCCESS, SetString(parent, u"RadioFile", kRadioFile));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(parent, u"Volume", 80));
    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0, maxClass = 9, security = 9;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, &maxClass,
                                              &values, &maxValueName, &maxValue, &security, nullptr));
    EXPECT_EQ(3u, subKeys);
    EXPECT_EQ(9u, maxSubKey);
    EXPECT_EQ(2u, values);
    EXPECT_EQ(9u, maxValueName);
    EXPECT_EQ((kRadioFile.size() + 1) * 2, maxValue);
    EXPECT_EQ(0u, maxClass);
    EXPECT_EQ(0u, security);
    DWORD reserved = 0;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryInfoKeyW(parent, nullptr, nullptr, &reserved, &subKeys, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST(RegDeleteKeyW, DeletesSubtreesAndOpenHandlesSeeKeyDeleted) {
    TempDeviceRoot root;
    ScopedKey top, middle, leaf, reopened, recreated;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\A", &top));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(top, u"B", &middle));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(middle, u"C", &leaf));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(leaf, u"Value", 1));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"software\\a"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(HKEY_LOCAL_MACHINE, u"Software\\A\\B\\C", &reopened));
    DWORD value = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, QueryDword(leaf, u"Value", &value));
    EXPECT_EQ(ERROR_KEY_DELETED, CreateKey(middle, u"New", &reopened));
    EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExW(top, nullptr, 0, 0, reopened.Out()));
    // A new key at the same path is not the deleted one.
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\A\\B", &recreated));
    EXPECT_EQ(ERROR_KEY_DELETED, SetDword(middle, u"Value", 2));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(recreated, u"Value", 2));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(middle));
    *middle.Out() = nullptr;

    // Missing keys, the root itself, and an empty subkey naming the handle's own key.
    ScopedKey gone;
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, u"Software\\Gone", &gone));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Never\\Gone"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(gone, u""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(HKEY_LOCAL_MACHINE, u"Software\\Gone", &reopened));
    EXPECT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, u"Software", &reopened));
}

TEST(RegOpenKeyExW, DamagedHiveIsSetAsideAndAnEmptyHiveUsed) {
    TempDeviceRoot root;
    const std::string hive = root.HostPath() + "/.runtime/registry/HKLM.hive";
    {
        ScopedKey key;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
        WriteEveryType(key);
    }
    const std::string intact = ReadHostFile(hive);
    ASSERT_GT(intact.size(), 40u);
    // Truncated, one flipped byte in the middle, or not a hive at all.
    std::string altered = intact;
    altered[altered.size() / 2] ^= 0x01;
    const std::string garbage = "this is not a hive file";
    ScopedKey key;
    size_t damaged = 0;
    for (const std::string& contents : {intact.substr(0, intact.size() - 7), altered, garbage}) {
        WriteHostFile(hive, contents);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
        EXPECT_EQ(++damaged, DamagedCopies(root).size());
    }
    bool garbageKept = false;
    for (const std::string& copy : DamagedCopies(root))
        garbageKept |= ReadHostFile(copy) == garbage;
    EXPECT_TRUE(garbageKept);
    // The empty hive takes writes and keeps them.
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &key));
    WriteEveryType(key);
    EXPECT_EQ(0, ChildProcess("RegistryReadBack").Wait());
    EXPECT_EQ(3u, DamagedCopies(root).size());
    // The intact file put back is read again.
    WriteHostFile(hive, intact);
    ScopedKey reread;
    ASSERT_EQ(ERROR_SUCCESS, OpenKey(HKEY_LOCAL_MACHINE, kCalvaroKey, &reread));
    EXPECT_EQ(0, CheckEveryType(reread));
}
