#include "CFileInput.h"

#include <algorithm>
#include <cstring>

CFileInput* CFileInput::Open(LPCSTR pszUrl, int* pnError) {
    *pnError = kErrorOpen;
    LPCSTR pszPath = pszUrl;
    if (std::strlen(pszPath) >= 5 && (pszPath[0] | 0x20) == 'f' && (pszPath[1] | 0x20) == 'i' &&
        (pszPath[2] | 0x20) == 'l' && (pszPath[3] | 0x20) == 'e' && pszPath[4] == ':')
        pszPath += 5;
    WCHAR szPath[kPathChars] = {};
    const int cbPath = static_cast<int>(std::min<size_t>(std::strlen(pszPath), kPathChars - 1));
    if (cbPath == 0 || MultiByteToWideChar(CP_ACP, 0, pszPath, cbPath, szPath, kPathChars - 1) <= 0)
        return nullptr;
    HANDLE hFile = CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return nullptr;
    *pnError = 0;
    return new CFileInput(hFile);
}

CFileInput::~CFileInput() { CloseHandle(m_hFile); }

int CFileInput::Read(BYTE* pBuffer, int cbBuffer) {
    if (cbBuffer <= 0)
        return 0;
    DWORD cbRead = 0;
    if (!ReadFile(m_hFile, pBuffer, static_cast<DWORD>(cbBuffer), &cbRead, nullptr))
        return kErrorIo;
    return static_cast<int>(cbRead);
}

LONGLONG CFileInput::Seek(LONGLONG offset, int whence) {
    if (whence == kSizeQuery) {
        DWORD high = 0;
        const DWORD low = GetFileSize(m_hFile, &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
            return -1;
        return static_cast<LONGLONG>(static_cast<ULONGLONG>(high) << 32 | low);
    }
    DWORD method;
    switch (whence) {
    case kFromStart: method = FILE_BEGIN; break;
    case kFromCurrent: method = FILE_CURRENT; break;
    case kFromEnd: method = FILE_END; break;
    default: return -1;
    }
    LONG high = static_cast<LONG>(offset >> 32);
    const DWORD low = SetFilePointer(m_hFile, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return -1;
    return static_cast<LONGLONG>(static_cast<ULONGLONG>(static_cast<DWORD>(high)) << 32 | low);
}
