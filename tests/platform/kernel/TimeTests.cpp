#include <gtest/gtest.h>

#include "platform.h"

namespace {

SYSTEMTIME MakeTime(int y, int mo, int d, int h, int mi, int s, int ms) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

}  // namespace

TEST(SystemTimeToFileTime, CountsFrom1601InHundredNanoseconds) {
    FILETIME ft;
    SYSTEMTIME origin = MakeTime(1601, 1, 1, 0, 0, 0, 0);
    ASSERT_TRUE(SystemTimeToFileTime(&origin, &ft));
    EXPECT_EQ(0u, Ticks(ft));
    // The Unix epoch lies 11644473600 s after 1601-01-01.
    SYSTEMTIME unixEpoch = MakeTime(1970, 1, 1, 0, 0, 0, 0);
    ASSERT_TRUE(SystemTimeToFileTime(&unixEpoch, &ft));
    EXPECT_EQ(116444736000000000ull, Ticks(ft));
    // Unix time 1234567890 is 2009-02-13 23:31:30 UTC.
    SYSTEMTIME st = MakeTime(2009, 2, 13, 23, 31, 30, 250);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ((11644473600ull + 1234567890ull) * 10000000ull + 2500000ull, Ticks(ft));
}

TEST(SystemTimeToFileTime, RejectsImpossibleDates) {
    FILETIME ft;
    SYSTEMTIME notLeap = MakeTime(2009, 2, 29, 0, 0, 0, 0);
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&notLeap, &ft));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SYSTEMTIME leap = MakeTime(2008, 2, 29, 0, 0, 0, 0);
    EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
    SYSTEMTIME century = MakeTime(1900, 2, 29, 0, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToFileTime(&century, &ft));
    SYSTEMTIME badHour = MakeTime(2020, 1, 1, 24, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToFileTime(&badHour, &ft));
    SYSTEMTIME beforeEpoch = MakeTime(1600, 12, 31, 0, 0, 0, 0);
    EXPECT_FALSE(SystemTimeToFileTime(&beforeEpoch, &ft));
}

TEST(FileTimeToSystemTime, RoundTripsAndGivesTheWeekday) {
    const SYSTEMTIME cases[] = {
        MakeTime(2009, 2, 13, 8, 5, 9, 999), MakeTime(2000, 2, 29, 23, 59, 59, 0),
        MakeTime(1601, 1, 1, 0, 0, 0, 1), MakeTime(2026, 12, 31, 12, 0, 0, 500),
        MakeTime(2100, 3, 1, 1, 2, 3, 4)};
    const WORD weekdays[] = {5, 2, 1, 4, 1};  // Friday, Tuesday, Monday, Thursday, Monday
    for (size_t i = 0; i < std::size(cases); ++i) {
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(&cases[i], &ft));
        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(cases[i].wYear, back.wYear);
        EXPECT_EQ(cases[i].wMonth, back.wMonth);
        EXPECT_EQ(cases[i].wDay, back.wDay);
        EXPECT_EQ(cases[i].wHour, back.wHour);
        EXPECT_EQ(cases[i].wMinute, back.wMinute);
        EXPECT_EQ(cases[i].wSecond, back.wSecond);
        EXPECT_EQ(cases[i].wMilliseconds, back.wMilliseconds);
        EXPECT_EQ(weekdays[i], back.wDayOfWeek) << i;
    }
}

TEST(FileTimeToSystemTime, RejectsTimesPastTheRange) {
    FILETIME ft{0, 0x80000000u};
    SYSTEMTIME st;
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(CompareFileTime, OrdersByBothHalves) {
    FILETIME a{0xFFFFFFFFu, 1}, b{0, 2}, c{0, 2};
    EXPECT_EQ(-1, CompareFileTime(&a, &b));
    EXPECT_EQ(1, CompareFileTime(&b, &a));
    EXPECT_EQ(0, CompareFileTime(&b, &c));
}

TEST(GetSystemTimeAsFileTime, AgreesWithGetSystemTime) {
    SYSTEMTIME st;
    GetSystemTime(&st);
    FILETIME fromClock, fromSystemTime;
    GetSystemTimeAsFileTime(&fromClock);
    ASSERT_TRUE(SystemTimeToFileTime(&st, &fromSystemTime));
    int64_t difference = static_cast<int64_t>(Ticks(fromClock) - Ticks(fromSystemTime));
    EXPECT_GE(difference, 0);
    EXPECT_LT(difference, 5 * 10000000LL);  // generous: five seconds
}

TEST(GetLocalTime, DiffersFromUtcByTheLocalOffset) {
    SYSTEMTIME local, utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    FILETIME localFt, utcFt, converted;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localFt));
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &utcFt));
    ASSERT_TRUE(FileTimeToLocalFileTime(&utcFt, &converted));
    int64_t difference = static_cast<int64_t>(Ticks(converted)) - static_cast<int64_t>(Ticks(localFt));
    EXPECT_LT(std::llabs(difference), 5 * 10000000LL);
}

TEST(GetTickCount, AdvancesWithSleep) {
    DWORD before = GetTickCount();
    Sleep(50);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}
