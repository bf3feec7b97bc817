// Files through handles and by path: dispositions, sharing, read-only files,
// positions, times, attributes, delete/move/copy, folders and the atomic save.
// Every case checks the result and the last-error code.
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "FileTestSupport.h"

using orvi::test::TempDeviceRoot;
namespace fs = std::filesystem;
using namespace orvi::test::files;

namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool WriteText(HANDLE h, std::string_view text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// A call failed and left the expected last-error code.
::testing::AssertionResult Fails(bool failed, DWORD expected) {
    DWORD got = GetLastError();
    if (failed && got == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (failed ? "" : "call succeeded; ") << "last error " << got
                                         << ", expected " << expected;
}

// CreateFileW refused to open path.
bool OpenFails(LPCWSTR path, DWORD access, DWORD share = 0, DWORD disposition = OPEN_EXISTING) {
    HANDLE h = Open(path, access, share, disposition);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(h);
    return false;
}

// Host names under the root that an atomic save could have left behind.
std::vector<std::string> LeftoverTempFiles(const TempDeviceRoot& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root.HostPath())) {
        std::string name = entry.path().filename().string();
        if (name.rfind(".~orvi-", 0) == 0)
            found.push_back(entry.path().string());
    }
    return found;
}

}  // namespace

// ---- CreateFileW ----------------------------------------------------------------

TEST(CreateFileW, Dispositions) {
    TempDeviceRoot root;
    struct Case {
        DWORD disposition;
        bool opensMissing;
        DWORD missingError;
        bool opensExisting;
        DWORD existingError;
        DWORD sizeAfter;
    } cases[] = {{CREATE_NEW, true, ERROR_SUCCESS, false, ERROR_FILE_EXISTS, 5},
                 {CREATE_ALWAYS, true, ERROR_SUCCESS, true, ERROR_ALREADY_EXISTS, 0},
                 {OPEN_ALWAYS, true, ERROR_SUCCESS, true, ERROR_ALREADY_EXISTS, 5},
                 {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, true, ERROR_SUCCESS, 5},
                 {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, true, ERROR_SUCCESS, 0}};
    // Whether the open succeeded, with the last error it left.
    auto open = [](DWORD disposition, DWORD& error) {
        SetLastError(0xBEEF);
        HANDLE h = Open(u"\\f.txt", kReadWrite, 0, disposition);
        error = GetLastError();
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.disposition);
        DWORD error = 0;
        fs::remove(root.Host("\\f.txt"));
        EXPECT_EQ(open(c.disposition, error), c.opensMissing);
        EXPECT_EQ(error, c.missingError);
        EXPECT_EQ(fs::exists(root.Host("\\f.txt")), c.opensMissing);
        WriteHost(root.Host("\\f.txt"), "hello");
        EXPECT_EQ(open(c.disposition, error), c.opensExisting);
        EXPECT_EQ(error, c.existingError);
        EXPECT_EQ(fs::file_size(root.Host("\\f.txt")), c.sizeAfter);
    }
}

TEST(CreateFileW, LooksUpIgnoringCaseAndCreatesWithTheGivenCase) {
    TempDeviceRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"\\Foo", nullptr));
    HANDLE h = Open(u"\\Foo\\BAR.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(h, "payload"));
    CloseHandle(h);
    EXPECT_EQ(ReadDevice(u"\\foo\\bar.TXT"), "payload");
    SetLastError(0xBEEF);
    h = Open(u"\\FOO\\bar.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(h);
    EXPECT_EQ(HostNames(root.HostPath() + "/Foo"), std::set<std::string>{"BAR.txt"});
    EXPECT_TRUE(Fails(OpenFails(u"\\fOO\\Bar.Txt", GENERIC_READ, 0, CREATE_NEW), ERROR_FILE_EXISTS));
}

TEST(CreateFileW, RefusesWritingAReadOnlyFile) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\ro.txt"), "keep");
    MakeReadOnly(root.Host("\\ro.txt"));
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, TRUNCATE_EXISTING, CREATE_ALWAYS})
        EXPECT_TRUE(Fails(OpenFails(u"\\ro.txt", GENERIC_WRITE, 0, disposition), ERROR_ACCESS_DENIED))
            << disposition;
    // Overwriting needs write access even when the caller asks only to read.
    EXPECT_TRUE(Fails(OpenFails(u"\\ro.txt", GENERIC_READ, 0, CREATE_ALWAYS), ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadHost(root.Host("\\ro.txt")), "keep");

    ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    HANDLE h = Open(u"\\ro.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(h, "new"));
    CloseHandle(h);
    EXPECT_EQ(ReadHost(root.Host("\\ro.txt")), "new");

    // The attribute given at creation applies once the creating handle is closed.
    h = CreateFileW(u"\\made.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(h, "first"));
    CloseHandle(h);
    EXPECT_EQ(ReadHost(root.Host("\\made.txt")), "first");
    EXPECT_FALSE(OwnerCanWrite(root.Host("\\made.txt")));
}

TEST(CreateFileW, RefusesPathsOutOfTheDevice) {
    TempDeviceRoot root;
    OutsideFolder outside(root);
    fs::create_directories(root.Host("\\a"));
    fs::create_directory_symlink(outside.Path(), root.Host("\\link"));
    std::string escapeName = fs::path(root.HostPath()).filename().string() + "-escape.txt";
    std::u16string up = u"\\..\\" + Widen(escapeName);
    std::u16string upTwice = u"\\a\\..\\..\\" + Widen(escapeName);
    for (const std::u16string& path : {up, upTwice, std::u16string(u"\\link\\x.txt")})
        EXPECT_TRUE(Fails(OpenFails(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS), ERROR_ACCESS_DENIED));
    EXPECT_FALSE(fs::exists(fs::path(root.HostPath()).parent_path() / escapeName));
    EXPECT_TRUE(fs::is_empty(outside.Path()));
}

TEST(CreateFileW, EnforcesShareModesBetweenHandles) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\s.txt"), "shared");
    HANDLE reader = Open(u"\\s.txt", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    // Writing conflicts with the reader's share mode.
    EXPECT_TRUE(Fails(OpenFails(u"\\S.TXT", GENERIC_WRITE, kShareAll), ERROR_SHARING_VIOLATION));
    // Not sharing reading conflicts with the reader's access.
    EXPECT_TRUE(Fails(OpenFails(u"\\s.txt", GENERIC_READ, 0), ERROR_SHARING_VIOLATION));
    // Overwriting is writing, and must leave the contents alone when refused.
    EXPECT_TRUE(Fails(OpenFails(u"\\s.txt", GENERIC_READ, kShareAll, CREATE_ALWAYS),
                      ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadHost(root.Host("\\s.txt")), "shared");
    HANDLE second = Open(u"\\s.txt", GENERIC_READ, FILE_SHARE_READ);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    CloseHandle(second);
    CloseHandle(reader);

    // Writers that share everything coexist; one that shares no reading conflicts.
    HANDLE first = Open(u"\\s.txt", kReadWrite, kShareAll);
    second = Open(u"\\s.txt", kReadWrite, kShareAll);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Fails(OpenFails(u"\\s.txt", GENERIC_WRITE, FILE_SHARE_WRITE), ERROR_SHARING_VIOLATION));
    CloseHandle(first);
    CloseHandle(second);
}

TEST(CreateFileW, RefusesBadPathsFoldersAndArguments) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\f.txt"), "x");
    fs::create_directories(root.Host("\\dir"));
    EXPECT_TRUE(Fails(OpenFails(u"\\nofolder\\x.txt", kReadWrite, 0, CREATE_ALWAYS), ERROR_PATH_NOT_FOUND));
    // A file where a folder should be is no folder either.
    EXPECT_TRUE(Fails(OpenFails(u"\\f.txt\\x.txt", kReadWrite, 0, CREATE_NEW), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(OpenFails(u"\\DIR", GENERIC_WRITE, 0, OPEN_ALWAYS), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Fails(OpenFails(u"\\dir", GENERIC_READ, 0, CREATE_NEW), ERROR_FILE_EXISTS));
    EXPECT_TRUE(Fails(OpenFails(u"\\", GENERIC_READ), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Fails(OpenFails(u"\\f.txt", GENERIC_READ, 0, TRUNCATE_EXISTING), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Fails(OpenFails(u"\\f.txt", GENERIC_READ, 0, 6), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Fails(OpenFails(nullptr, GENERIC_READ), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Fails(OpenFails(u"\\a|b.txt", GENERIC_READ, 0, CREATE_NEW), ERROR_INVALID_NAME));
    EXPECT_FALSE(fs::exists(root.HostPath() + "/nofolder"));
    EXPECT_TRUE(fs::is_directory(root.Host("\\dir")));
}

// ---- ReadFile / WriteFile -----------------------------------------------------------

TEST(ReadFile, ReadsWhatWasWrittenAndStopsAtTheEnd) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\data.bin", kReadWrite, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteText(h, "hello world"));
    ASSERT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    char buffer[32] = {};
    DWORD got = 99;
    ASSERT_TRUE(ReadFile(h, buffer, 3, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "wor");
    // Asking for more than is left gives what is left.
    ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "ld");
    // At the end: success with nothing read.
    got = 99;
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
    CloseHandle(h);
    EXPECT_EQ(ReadHost(root.Host("\\data.bin")), "hello world");
}

TEST(ReadFile, ReadAndWriteNeedTheirAccessAndAValidHandle) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\x.txt"), "abc");
    HANDLE writeOnly = Open(u"\\x.txt", GENERIC_WRITE, kShareAll);
    ASSERT_NE(writeOnly, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD got = 99;
    EXPECT_TRUE(Fails(!ReadFile(writeOnly, buffer, sizeof buffer, &got, nullptr), ERROR_ACCESS_DENIED));
    EXPECT_EQ(got, 0u);
    CloseHandle(writeOnly);
    EXPECT_TRUE(Fails(!ReadFile(writeOnly, buffer, sizeof buffer, &got, nullptr), ERROR_INVALID_HANDLE));
    HANDLE reader = Open(u"\\x.txt", GENERIC_READ, kShareAll);
    OVERLAPPED overlapped{};
    EXPECT_TRUE(Fails(!ReadFile(reader, buffer, sizeof buffer, &got, &overlapped), ERROR_INVALID_PARAMETER));
    DWORD written = 99;
    EXPECT_TRUE(Fails(!WriteFile(reader, "zz", 2, &written, nullptr), ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    CloseHandle(reader);
    EXPECT_EQ(ReadHost(root.Host("\\x.txt")), "abc");
}

TEST(WriteFile, HandlesKeepTheirOwnPositions) {
    TempDeviceRoot root;
    HANDLE a = Open(u"\\p.txt", kReadWrite, kShareAll, CREATE_NEW);
    HANDLE b = Open(u"\\p.txt", kReadWrite, kShareAll);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteText(a, "AAAA"));
    EXPECT_TRUE(WriteText(b, "bb"));  // b is still at 0
    EXPECT_TRUE(WriteText(a, "CC"));
    CloseHandle(a);
    CloseHandle(b);
    EXPECT_EQ(ReadHost(root.Host("\\p.txt")), "bbAACC");
}

TEST(WriteFile, TwoThreadsOnOneHandleLoseNothing) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\log.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    constexpr int kRecords = 2000;
    auto writer = [h](char letter) {
        std::string record = std::string(7, letter) + '\n';
        for (int i = 0; i < kRecords; ++i)
            WriteText(h, record);
    };
    std::thread first(writer, 'A'), second(writer, 'B');
    first.join();
    second.join();
    CloseHandle(h);
    std::string contents = ReadHost(root.Host("\\log.txt"));
    ASSERT_EQ(contents.size(), 2u * kRecords * 8);
    int a = 0, b = 0;
    for (size_t at = 0; at < contents.size(); at += 8) {
        a += contents.compare(at, 8, "AAAAAAA\n") == 0;
        b += contents.compare(at, 8, "BBBBBBB\n") == 0;
    }
    EXPECT_EQ(a, kRecords);
    EXPECT_EQ(b, kRecords);
}

// ---- SetFilePointer / SetEndOfFile / GetFileSize / FlushFileBuffers ------------------

TEST(SetFilePointer, MovesFromEachOriginAndRefusesBadMoves) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\f.bin", kReadWrite, 0, CREATE_NEW);
    ASSERT_TRUE(WriteText(h, "0123456789"));
    SetLastError(0xBEEF);
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 4u);
    EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
    char c = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h, &c, 1, &got, nullptr));
    EXPECT_EQ(c, '7');
    // Refused moves leave the position alone.
    EXPECT_TRUE(Fails(SetFilePointer(h, -11, nullptr, FILE_END) == INVALID_SET_FILE_POINTER,
                      ERROR_NEGATIVE_SEEK));
    EXPECT_TRUE(Fails(SetFilePointer(h, 0, nullptr, 3) == INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 8u);
    // Past the end, a write fills the gap with zeros.
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_END), 12u);
    EXPECT_TRUE(WriteText(h, "X"));
    CloseHandle(h);
    EXPECT_EQ(ReadHost(root.Host("\\f.bin")), std::string("0123456789\0\0X", 13));
}

TEST(SetFilePointer, UsesTheHighPartBeyondFourGigabytes) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\big.bin", kReadWrite, 0, CREATE_NEW);
    LONG high = 1;
    SetLastError(0xBEEF);
    EXPECT_EQ(SetFilePointer(h, 0x10, &high, FILE_BEGIN), 0x10u);
    EXPECT_EQ(high, 1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    ASSERT_TRUE(SetEndOfFile(h));  // sparse on the host
    DWORD sizeHigh = 0;
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 0x10u);
    EXPECT_EQ(sizeHigh, 1u);
    // A low part of 0xFFFFFFFF is a position, told apart by NO_ERROR.
    high = 0;
    SetLastError(0xBEEF);
    EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(high, 0);
    // Without a high part the answer must fit in 32 bits.
    EXPECT_TRUE(Fails(SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER,
                      ERROR_INVALID_PARAMETER));
    CloseHandle(h);
}

TEST(SetEndOfFile, CutsAndExtendsAtThePosition) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\e.txt", kReadWrite, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_TRUE(WriteText(h, "0123456789"));
    SetFilePointer(h, 4, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(h));
    DWORD high = 99;
    SetLastError(0xBEEF);
    EXPECT_EQ(GetFileSize(h, &high), 4u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
    SetFilePointer(h, 6, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(h));
    EXPECT_TRUE(FlushFileBuffers(h));
    EXPECT_EQ(ReadHost(root.Host("\\e.txt")), std::string("0123\0\0", 6));

    // A reader may neither cut nor flush.
    HANDLE reader = Open(u"\\e.txt", GENERIC_READ, kShareAll);
    EXPECT_TRUE(Fails(!SetEndOfFile(reader), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Fails(!FlushFileBuffers(reader), ERROR_ACCESS_DENIED));
    CloseHandle(reader);
    CloseHandle(h);
    EXPECT_EQ(fs::file_size(root.Host("\\e.txt")), 6u);
    EXPECT_TRUE(Fails(GetFileSize(h, &high) == INVALID_FILE_SIZE, ERROR_INVALID_HANDLE));
}

// ---- GetFileTime / SetFileTime ----------------------------------------------------------

TEST(SetFileTime, RoundTripsAccessAndWriteTimes) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\t.txt", kReadWrite, 0, CREATE_NEW);
    // 2001-09-09 01:46:40.1234567 UTC and 1960-01-01 00:00:00.0000001 UTC.
    const uint64_t write2001 = 126444736001234567ULL;
    const uint64_t access1960 = 113288544000000001ULL;
    FILETIME write = FromTicks(write2001), access = FromTicks(access1960);
    ASSERT_TRUE(SetFileTime(h, nullptr, &access, &write));
    FILETIME created{}, gotAccess{}, gotWrite{};
    ASSERT_TRUE(GetFileTime(h, &created, &gotAccess, &gotWrite));
    EXPECT_EQ(Ticks(gotWrite), write2001);
    EXPECT_EQ(Ticks(gotAccess), access1960);
    EXPECT_NE(Ticks(created), 0u);
    // A null time stays as it was.
    FILETIME newWrite = FromTicks(write2001 + 10000000);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &newWrite));
    ASSERT_TRUE(GetFileTime(h, nullptr, &gotAccess, &gotWrite));
    EXPECT_EQ(Ticks(gotAccess), access1960);
    EXPECT_EQ(Ticks(gotWrite), write2001 + 10000000);
    CloseHandle(h);
    // The host agrees: the file is dated 2001, not now.
    auto age = fs::file_time_type::clock::now() - fs::last_write_time(root.Host("\\t.txt"));
    EXPECT_GT(age, std::chrono::hours(24 * 365 * 10));

    // Setting needs write access and leaves the time alone when refused.
    h = Open(u"\\t.txt", GENERIC_READ);
    FILETIME now = FromTicks(write2001 + 20000000);
    EXPECT_TRUE(Fails(!SetFileTime(h, nullptr, nullptr, &now), ERROR_ACCESS_DENIED));
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &gotWrite));
    EXPECT_EQ(Ticks(gotWrite), write2001 + 10000000);
    CloseHandle(h);
    EXPECT_TRUE(Fails(!GetFileTime(h, nullptr, nullptr, &gotWrite), ERROR_INVALID_HANDLE));
}

TEST(GetFileTime, FollowsWrites) {
    TempDeviceRoot root;
    HANDLE h = Open(u"\\t.txt", kReadWrite, 0, CREATE_NEW);
    FILETIME old = FromTicks(126444736000000000ULL), now{}, system{};
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
    ASSERT_TRUE(WriteText(h, "later"));
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &now));
    GetSystemTimeAsFileTime(&system);
    // The write time is "now" within a generous bound.
    EXPECT_LT(Ticks(system) > Ticks(now) ? Ticks(system) - Ticks(now) : Ticks(now) - Ticks(system),
              600ULL * 10000000);
    CloseHandle(h);
}

// ---- GetFileAttributesW / SetFileAttributesW ---------------------------------------------

TEST(GetFileAttributesW, DescribesFilesAndFoldersAndTellsMissingFromMissingFolder) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\dir\\file.txt"), "x");
    WriteHost(root.Host("\\.hidden"), "x");
    WriteHost(root.Host("\\ro.txt"), "x");
    MakeReadOnly(root.Host("\\ro.txt"));
    EXPECT_EQ(GetFileAttributesW(u"\\DIR"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(u"\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesW(u"\\dir\\FILE.TXT"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"\\ro.txt"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(u"\\.hidden"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(Fails(GetFileAttributesW(u"\\dir\\none.txt") == INVALID_FILE_ATTRIBUTES,
                      ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Fails(GetFileAttributesW(u"\\nodir\\none.txt") == INVALID_FILE_ATTRIBUTES,
                      ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(GetFileAttributesW(u"\\..\\x") == INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED));
}

TEST(SetFileAttributesW, ReadOnlyFollowsTheOwnersWritePermission) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\f.txt"), "x");
    ASSERT_TRUE(SetFileAttributesW(u"\\F.TXT", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(OwnerCanWrite(root.Host("\\f.txt")));
    EXPECT_TRUE(GetFileAttributesW(u"\\f.txt") & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributesW(u"\\f.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(OwnerCanWrite(root.Host("\\f.txt")));
    EXPECT_FALSE(GetFileAttributesW(u"\\f.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Fails(!SetFileAttributesW(u"\\none.txt", FILE_ATTRIBUTE_NORMAL), ERROR_FILE_NOT_FOUND));
}

// ---- DeleteFileW / MoveFileW / CopyFileW ---------------------------------------------

TEST(DeleteFileW, DeletesClosedFilesOnly) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\Gone.txt"), "x");
    fs::create_directories(root.Host("\\dir"));
    EXPECT_TRUE(DeleteFileW(u"\\gone.TXT"));
    EXPECT_FALSE(fs::exists(root.Host("\\Gone.txt")));
    EXPECT_TRUE(Fails(!DeleteFileW(u"\\gone.txt"), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Fails(!DeleteFileW(u"\\nodir\\gone.txt"), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(!DeleteFileW(u"\\dir"), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(root.Host("\\dir")));
    HANDLE h = Open(u"\\open.txt", GENERIC_READ, kShareAll, CREATE_NEW);
    EXPECT_TRUE(Fails(!DeleteFileW(u"\\open.txt"), ERROR_SHARING_VIOLATION));
    CloseHandle(h);
    EXPECT_TRUE(DeleteFileW(u"\\open.txt"));
}

TEST(DeleteFileW, RefusesReadOnlyUntilTheBitIsCleared) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\ro.txt"), "x");
    MakeReadOnly(root.Host("\\ro.txt"));
    EXPECT_TRUE(Fails(!DeleteFileW(u"\\ro.txt"), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::exists(root.Host("\\ro.txt")));
    ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(u"\\ro.txt"));
    EXPECT_FALSE(fs::exists(root.Host("\\ro.txt")));
}

TEST(MoveFileW, MovesFilesFoldersAndTheCaseOfAName) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\a.txt"), "moved");
    WriteHost(root.Host("\\Dir\\inner.txt"), "inner");
    fs::create_directories(root.Host("\\target"));
    EXPECT_TRUE(MoveFileW(u"\\A.TXT", u"\\target\\B.txt"));
    EXPECT_EQ(ReadHost(root.Host("\\target\\B.txt")), "moved");
    EXPECT_TRUE(MoveFileW(u"\\dir", u"\\TARGET\\Moved"));
    EXPECT_EQ(ReadHost(root.Host("\\target\\Moved\\inner.txt")), "inner");
    EXPECT_TRUE(MoveFileW(u"\\target", u"\\TARGET"));
    EXPECT_EQ(HostNames(root.HostPath()), std::set<std::string>{"TARGET"});
}

TEST(MoveFileW, NeverReplacesAnExistingTarget) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\from.txt"), "from");
    WriteHost(root.Host("\\To.txt"), "to");
    EXPECT_TRUE(Fails(!MoveFileW(u"\\from.txt", u"\\to.TXT"), ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadHost(root.Host("\\from.txt")), "from");
    EXPECT_EQ(ReadHost(root.Host("\\To.txt")), "to");
}

TEST(MoveFileW, RefusesMissingPathsAFolderIntoItselfAndAnOpenFile) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\from.txt"), "from");
    fs::create_directories(root.Host("\\dir\\sub"));
    EXPECT_TRUE(Fails(!MoveFileW(u"\\none.txt", u"\\x.txt"), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Fails(!MoveFileW(u"\\from.txt", u"\\nodir\\x.txt"), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(!MoveFileW(u"\\from.txt", u"\\..\\x.txt"), ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadHost(root.Host("\\from.txt")), "from");
    EXPECT_TRUE(Fails(!MoveFileW(u"\\dir", u"\\dir\\sub\\again"), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::is_directory(root.Host("\\dir\\sub")));
    HANDLE h = Open(u"\\from.txt", GENERIC_WRITE, kShareAll);
    EXPECT_TRUE(Fails(!MoveFileW(u"\\from.txt", u"\\moved.txt"), ERROR_SHARING_VIOLATION));
    CloseHandle(h);
    EXPECT_TRUE(MoveFileW(u"\\from.txt", u"\\moved.txt"));
}

TEST(CopyFileW, CopiesContentsTimeAndReadOnly) {
    TempDeviceRoot root;
    std::string data(100000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    WriteHost(root.Host("\\src.bin"), data);
    HANDLE h = Open(u"\\src.bin", GENERIC_WRITE);
    FILETIME old = FromTicks(126444736000000000ULL), copied{};
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
    CloseHandle(h);
    MakeReadOnly(root.Host("\\src.bin"));
    EXPECT_TRUE(CopyFileW(u"\\SRC.bin", u"\\Copy.bin", TRUE));
    EXPECT_EQ(ReadHost(root.Host("\\Copy.bin")), data);
    EXPECT_EQ(GetFileAttributesW(u"\\copy.bin"),
              static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    h = Open(u"\\copy.bin", GENERIC_READ);
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &copied));
    EXPECT_EQ(Ticks(copied), Ticks(old));
    CloseHandle(h);
}

TEST(CopyFileW, HonoursFailIfExistsReadOnlyTargetsAndMissingPaths) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\src.txt"), "new");
    WriteHost(root.Host("\\dst.txt"), "old");
    EXPECT_TRUE(Fails(!CopyFileW(u"\\src.txt", u"\\DST.txt", TRUE), ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadHost(root.Host("\\dst.txt")), "old");
    EXPECT_TRUE(CopyFileW(u"\\src.txt", u"\\DST.txt", FALSE));
    EXPECT_EQ(ReadHost(root.Host("\\dst.txt")), "new");
    EXPECT_EQ(HostNames(root.HostPath()), (std::set<std::string>{"dst.txt", "src.txt"}));

    WriteHost(root.Host("\\src.txt"), "newer");
    MakeReadOnly(root.Host("\\dst.txt"));
    EXPECT_TRUE(Fails(!CopyFileW(u"\\src.txt", u"\\dst.txt", FALSE), ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadHost(root.Host("\\dst.txt")), "new");
    EXPECT_TRUE(Fails(!CopyFileW(u"\\none.txt", u"\\x.txt", FALSE), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Fails(!CopyFileW(u"\\src.txt", u"\\SRC.TXT", FALSE), ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadHost(root.Host("\\src.txt")), "newer");
}

// ---- CreateDirectoryW / RemoveDirectoryW -----------------------------------------------

TEST(CreateDirectoryW, CreatesWithTheGivenCaseOnce) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\file"), "x");
    EXPECT_TRUE(CreateDirectoryW(u"\\My Stuff", nullptr));
    EXPECT_TRUE(Fails(!CreateDirectoryW(u"\\my stuff", nullptr), ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(CreateDirectoryW(u"\\MY STUFF\\Inner", nullptr));
    EXPECT_TRUE(fs::is_directory(root.HostPath() + "/My Stuff/Inner"));
    EXPECT_EQ(HostNames(root.HostPath()), (std::set<std::string>{"My Stuff", "file"}));
    EXPECT_TRUE(Fails(!CreateDirectoryW(u"\\a\\b", nullptr), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(!CreateDirectoryW(u"\\FILE", nullptr), ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(fs::exists(root.Host("\\a")));
}

TEST(RemoveDirectoryW, RemovesEmptyFoldersOnly) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\full\\f.txt"), "x");
    fs::create_directories(root.Host("\\Empty"));
    EXPECT_TRUE(Fails(!RemoveDirectoryW(u"\\full"), ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(RemoveDirectoryW(u"\\EMPTY"));
    EXPECT_FALSE(fs::exists(root.Host("\\Empty")));
    EXPECT_TRUE(Fails(!RemoveDirectoryW(u"\\empty"), ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(Fails(!RemoveDirectoryW(u"\\full\\f.txt"), ERROR_DIRECTORY));
    EXPECT_TRUE(Fails(!RemoveDirectoryW(u"\\"), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fs::exists(root.Host("\\full\\f.txt")));
}

// ---- OrviAtomicWriteFile ------------------------------------------------------------

TEST(OrviAtomicWriteFile, CreatesAndReplacesWithoutLeftovers) {
    TempDeviceRoot root;
    ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
    EXPECT_TRUE(OrviAtomicWriteFile(u"\\data\\Settings.xml", "<a/>", 4));
    EXPECT_EQ(ReadHost(root.HostPath() + "/Data/Settings.xml"), "<a/>");
    EXPECT_TRUE(OrviAtomicWriteFile(u"\\DATA\\settings.XML", "<b>longer</b>", 13));
    EXPECT_EQ(ReadHost(root.HostPath() + "/Data/Settings.xml"), "<b>longer</b>");
    EXPECT_TRUE(OrviAtomicWriteFile(u"\\data\\settings.xml", nullptr, 0));
    EXPECT_EQ(ReadHost(root.HostPath() + "/Data/Settings.xml"), "");
    EXPECT_EQ(HostNames(root.HostPath() + "/Data"), std::set<std::string>{"Settings.xml"});
}

TEST(OrviAtomicWriteFile, RefusesReadOnlyAndBadTargetsAndKeepsThem) {
    TempDeviceRoot root;
    fs::create_directories(root.Host("\\dir"));
    EXPECT_TRUE(Fails(!OrviAtomicWriteFile(u"\\missing\\x.xml", "x", 1), ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(Fails(!OrviAtomicWriteFile(u"\\dir", "x", 1), ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Fails(!OrviAtomicWriteFile(u"\\dir\\x.xml", nullptr, 1), ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(fs::is_empty(root.Host("\\dir")));
    WriteHost(root.Host("\\ro.xml"), "original");
    MakeReadOnly(root.Host("\\ro.xml"));
    EXPECT_TRUE(Fails(!OrviAtomicWriteFile(u"\\ro.xml", "replaced", 8), ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadHost(root.Host("\\ro.xml")), "original");
    EXPECT_TRUE(LeftoverTempFiles(root).empty());
    ASSERT_TRUE(SetFileAttributesW(u"\\ro.xml", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(OrviAtomicWriteFile(u"\\ro.xml", "replaced", 8));
    EXPECT_EQ(ReadHost(root.Host("\\ro.xml")), "replaced");
}

TEST(OrviAtomicWriteFile, AFailedWriteLeavesTheOldFileAndNoTempFile) {
    TempDeviceRoot root;
    WriteHost(root.Host("\\big.bin"), "small and intact");
    // The host refuses to grow any file past 4 KB for this process.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string huge(64 * 1024, 'z');
    BOOL ok = OrviAtomicWriteFile(u"\\big.bin", huge.data(), static_cast<DWORD>(huge.size()));
    DWORD error = GetLastError();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(ReadHost(root.Host("\\big.bin")), "small and intact");
    EXPECT_TRUE(LeftoverTempFiles(root).empty());
}

TEST(OrviAtomicWriteFile, ReadersSeeOldOrNewNeverAMix) {
    TempDeviceRoot root;
    const std::string small(1000, 'a'), large(50000, 'b');
    ASSERT_TRUE(OrviAtomicWriteFile(u"\\shared.dat", small.data(), static_cast<DWORD>(small.size())));
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            std::string seen = ReadDevice(u"\\shared.dat");
            if (seen != small && seen != large)
                ++torn;
            ++reads;
        }
    });
    for (int i = 0; i < 60; ++i) {
        const std::string& next = (i % 2) ? small : large;
        ASSERT_TRUE(OrviAtomicWriteFile(u"\\shared.dat", next.data(), static_cast<DWORD>(next.size())));
    }
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(reads.load(), 0);
    EXPECT_TRUE(LeftoverTempFiles(root).empty());
}
