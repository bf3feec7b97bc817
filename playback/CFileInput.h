// The "file" input protocol: a device file ("file:\My Documents\x.mp3" or
// "\My Documents\x.mp3"), opened read-only and shared for reading.
#pragma once

#include "CInputProtocol.h"

class CFileInput : public CInputProtocol {
public:
    static constexpr int kPathChars = 1024;  // at most 1023 characters are taken

    // NULL with *pnError = -2 when the file cannot be opened.
    static CFileInput* Open(LPCSTR pszUrl, int* pnError);

    int Read(BYTE* pBuffer, int cbBuffer) override;  // a failed read is -5
    LONGLONG Seek(LONGLONG offset, int whence) override;
    ~CFileInput() override;

private:
    explicit CFileInput(HANDLE hFile) : m_hFile(hFile) {}

    HANDLE m_hFile;
};
