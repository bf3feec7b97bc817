// The "http" input protocol: a CHttpStreamBuffer connected to the address
// and replaced by whatever source Detect finds (ICY, Windows Media framing,
// or the plain buffer).
#pragma once

#include "CInputProtocol.h"

class CHttpInput : public CInputProtocol {
public:
    static constexpr DWORD kConnectLimitMs = 30000;
    static constexpr DWORD kReadLimitMs = 20000;
    static constexpr int kUrlChars = 2048;  // at most 2047 characters are taken

    // NULL with *pnError = -2 when the connection cannot be made, the server
    // answers 400-499, or no source stays connected after detection.
    static CHttpInput* Open(LPCSTR pszUrl, int* pnError);

    // Negative stream results become -5.
    int Read(BYTE* pBuffer, int cbBuffer) override;
    // kSizeQuery: the content length, -1 when unknown. kFromStart and
    // kFromCurrent: the stream's Seek. Anything else: -1.
    LONGLONG Seek(LONGLONG offset, int whence) override;
    CHttpStream* HttpStream() override { return m_pStream; }
    ~CHttpInput() override;

private:
    explicit CHttpInput(CHttpStream* pStream) : m_pStream(pStream) {}

    CHttpStream* m_pStream;  // owned
};
