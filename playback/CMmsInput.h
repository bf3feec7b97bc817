// The "mms" input protocol: Windows Media over HTTP through a CHttpMMS
// ("mms://" is requested as "http://"). It cannot seek.
#pragma once

#include "CInputProtocol.h"

class CHttpMMS;

class CMmsInput : public CInputProtocol {
public:
    static constexpr DWORD kConnectLimitMs = 40000;
    static constexpr DWORD kReadLimitMs = 60000;

    // NULL with *pnError = -5 when the connection or the stream header
    // cannot be had.
    static CMmsInput* Open(LPCSTR pszUrl, int* pnError);

    int Read(BYTE* pBuffer, int cbBuffer) override;  // negative results become -5
    LONGLONG Seek(LONGLONG, int) override { return -1; }
    ~CMmsInput() override;

private:
    explicit CMmsInput(CHttpMMS* pStream) : m_pStream(pStream) {}

    CHttpMMS* m_pStream;  // owned
};
