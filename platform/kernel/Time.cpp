// Clocks and the conversions between SYSTEMTIME and FILETIME.
//
// FILETIME counts 100-nanosecond intervals since 1 January 1601 (UTC).
#include <time.h>

#include "internal.h"

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ULL;
// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600LL;

uint64_t ToU64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromU64(uint64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days since 1601-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day) {
    int64_t days = 0;
    int64_t y = year - 1601;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    return days + day - 1;
}

SYSTEMTIME FromTm(const tm& t, long nanoseconds) {
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(t.tm_year + 1900);
    st.wMonth = static_cast<WORD>(t.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(t.tm_wday);
    st.wDay = static_cast<WORD>(t.tm_mday);
    st.wHour = static_cast<WORD>(t.tm_hour);
    st.wMinute = static_cast<WORD>(t.tm_min);
    st.wSecond = static_cast<WORD>(t.tm_sec > 59 ? 59 : t.tm_sec);
    st.wMilliseconds = static_cast<WORD>(nanoseconds / 1000000);
    return st;
}

// Offset of local time from UTC, in seconds, at the given moment.
long LocalOffsetAt(time_t when) {
    tm local;
    localtime_r(&when, &local);
    return local.tm_gmtoff;
}

}  // namespace

DWORD GetTickCount() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
    return static_cast<DWORD>(ms);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    localtime_r(&ts.tv_sec, &t);
    *lpSystemTime = FromTm(t, ts.tv_nsec);
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    gmtime_r(&ts.tv_sec, &t);
    *lpSystemTime = FromTm(t, ts.tv_nsec);
}

void GetSystemTimeAsFileTime(LPFILETIME lpFileTime) {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t ticks = static_cast<uint64_t>(ts.tv_sec + kEpochDifference) * kTicksPerSecond +
                     static_cast<uint64_t>(ts.tv_nsec) / 100;
    *lpFileTime = FromU64(ticks);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME lpFileTime) {
    if (!st || !lpFileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 ||
        st->wMonth > 12 || st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) ||
        st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t seconds = static_cast<uint64_t>(DaysFromCivil(st->wYear, st->wMonth, st->wDay)) * 86400 +
                       st->wHour * 3600u + st->wMinute * 60u + st->wSecond;
    *lpFileTime = FromU64(seconds * kTicksPerSecond + st->wMilliseconds * 10000ULL);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME st) {
    if (!lpFileTime || !st || (lpFileTime->dwHighDateTime & 0x80000000u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = ToU64(*lpFileTime);
    uint64_t totalSeconds = ticks / kTicksPerSecond;
    int64_t days = static_cast<int64_t>(totalSeconds / 86400);
    uint64_t secondOfDay = totalSeconds % 86400;
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    int year = 1601;
    while (days >= (IsLeap(year) ? 366 : 365)) {
        days -= IsLeap(year) ? 366 : 365;
        ++year;
    }
    int month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }
    st->wYear = static_cast<WORD>(year);
    st->wMonth = static_cast<WORD>(month);
    st->wDay = static_cast<WORD>(days + 1);
    st->wHour = static_cast<WORD>(secondOfDay / 3600);
    st->wMinute = static_cast<WORD>(secondOfDay % 3600 / 60);
    st->wSecond = static_cast<WORD>(secondOfDay % 60);
    st->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = ToU64(*lpFileTime);
    time_t when = static_cast<time_t>(ticks / kTicksPerSecond) - kEpochDifference;
    *lpLocalFileTime = FromU64(ticks + static_cast<int64_t>(LocalOffsetAt(when)) * kTicksPerSecond);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
    if (!lpLocalFileTime || !lpFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = ToU64(*lpLocalFileTime);
    time_t approx = static_cast<time_t>(ticks / kTicksPerSecond) - kEpochDifference;
    *lpFileTime = FromU64(ticks - static_cast<int64_t>(LocalOffsetAt(approx)) * kTicksPerSecond);
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    uint64_t x = ToU64(*a), y = ToU64(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}
