// Downloading into files. The local copy a download refreshes is often the
// only offline copy of the data, so a body goes into a temporary file next to
// it and replaces it only when complete.
#include <string>

#include "CHttpHeap.h"
#include "COrviHttp.h"
#include "OrviHttpOperation.h"

namespace {

constexpr DWORD kCopyBufferSize = 2048;
constexpr DWORD kFileReadLimitMs = 20000;
constexpr int kStampToleranceSeconds = 5;

// MoveFileW never replaces, so the old file steps aside first and comes back
// if the new one cannot take its place.
bool ReplaceWith(LPCWSTR temporary, LPCWSTR target) {
    if (GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES)
        return MoveFileW(temporary, target) != FALSE;
    const std::u16string aside = std::u16string(target) + u".old";
    DeleteFileW(aside.c_str());
    if (!MoveFileW(target, aside.c_str()))
        return false;
    if (!MoveFileW(temporary, target)) {
        MoveFileW(aside.c_str(), target);
        return false;
    }
    DeleteFileW(aside.c_str());
    return true;
}

void StampFile(LPCWSTR path, const SYSTEMTIME& time) {
    FILETIME stamp;
    if (!SystemTimeToFileTime(&time, &stamp))
        return;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFileTime(file, nullptr, nullptr, &stamp);
    CloseHandle(file);
}

}  // namespace

int COrviHttp::SaveBodyToFile(LPCWSTR path) {
    COrviHttpOperation operation(*this);
    if (!m_hRequest)
        return m_nLastStatus = kNetworkFailure;
    if (!m_pCopyBuffer) {
        m_pCopyBuffer = static_cast<BYTE*>(CHttpHeap::Alloc(kCopyBufferSize));
        if (!m_pCopyBuffer)
            return m_nLastStatus = kOutOfMemory;
        m_dwCopyBufferSize = kCopyBufferSize;
    }
    const DWORD length = ContentLength();
    const std::u16string temporary = std::u16string(path ? path : u"") + u".part";
    HANDLE file = path && *path ? CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        CloseHandleField(&m_hRequest);
        return m_nLastStatus = kFileFailure;
    }
    DWORD written = 0;
    int result = CopyBodyToFile(file, &written);
    CloseHandle(file);
    CloseHandleField(&m_hRequest);
    if (result == kOk && length >= 1 && written < length)
        result = kNetworkFailure;  // cut short
    if (result == kOk && written > 0 && !ReplaceWith(temporary.c_str(), path))
        result = kFileFailure;
    if (result != kOk || written == 0) {
        DeleteFileW(temporary.c_str());
        return result == kOk ? 0 : (m_nLastStatus = result);
    }
    return static_cast<int>(written);
}

int COrviHttp::CopyBodyToFile(HANDLE file, DWORD* written) {
    for (;;) {
        DWORD read = 0;
        int result = ReadStep(m_pCopyBuffer, m_dwCopyBufferSize, kFileReadLimitMs, &read);
        if (result != kOk)
            return result;
        if (read == 0)
            return kOk;
        DWORD done = 0;
        if (!WriteFile(file, m_pCopyBuffer, read, &done, nullptr) || done != read)
            return kFileFailure;
        *written += read;
        if ((result = PumpAfterRead()) != kOk)
            return result;
    }
}

int COrviHttp::DownloadFile(LPCWSTR url, LPCWSTR path, BOOL connectFirst) {
    COrviHttpOperation operation(*this);
    if (!url || !*url)
        return m_nLastStatus = kNoAuthorization;
    if (connectFirst) {
        const int network = EnsureNetwork(url);
        if (network < 200 || network > 399)
            return network;
    }
    const int status = SendGet(url);
    if (status < 200 || status > 399)
        return status;
    SYSTEMTIME modified{};
    DWORD size = sizeof(modified);
    const bool stamped = HttpQueryInfoW(m_hRequest, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &modified,
                                        &size, nullptr) != FALSE;
    if (stamped && LocalCopyIsCurrent(path, modified)) {
        CloseHandleField(&m_hRequest);
        return m_nLastStatus = kLocalCopyCurrent;
    }
    const int saved = SaveBodyToFile(path);
    if (saved <= 0)
        return saved;
    if (stamped)
        StampFile(path, modified);
    return m_nLastStatus = kOk;
}

// The server's time and the file's agree to the minute and within five
// seconds (seconds are compared inside the minute, as the device did).
bool COrviHttp::LocalCopyIsCurrent(LPCWSTR path, const SYSTEMTIME& serverTime) {
    HANDLE file = path ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     0, nullptr)
                       : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME written{};
    const BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    SYSTEMTIME local{};
    if (!ok || !FileTimeToSystemTime(&written, &local))
        return false;
    const int seconds = static_cast<int>(local.wSecond) - static_cast<int>(serverTime.wSecond);
    return local.wYear == serverTime.wYear && local.wMonth == serverTime.wMonth && local.wDay == serverTime.wDay &&
           local.wHour == serverTime.wHour && local.wMinute == serverTime.wMinute &&
           seconds > -kStampToleranceSeconds && seconds < kStampToleranceSeconds;
}
