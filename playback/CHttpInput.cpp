#include "CHttpInput.h"

#include <algorithm>
#include <cstring>

#include "CHttpStreamBuffer.h"

CHttpInput* CHttpInput::Open(LPCSTR pszUrl, int* pnError) {
    *pnError = kErrorOpen;
    WCHAR szUrl[kUrlChars] = {};
    const int cbUrl = static_cast<int>(std::min<size_t>(std::strlen(pszUrl), kUrlChars - 1));
    if (cbUrl == 0 || MultiByteToWideChar(CP_ACP, 0, pszUrl, cbUrl, szUrl, kUrlChars - 1) <= 0)
        return nullptr;
    CHttpStream* pStream = new CHttpStreamBuffer;
    if (pStream->Connect(szUrl, kConnectLimitMs) != 0) {
        CHttpStream::Destroy(pStream);
        return nullptr;
    }
    pStream = pStream->Detect();
    if (!pStream->IsConnected()) {
        CHttpStream::Destroy(pStream);
        return nullptr;
    }
    *pnError = 0;
    return new CHttpInput(pStream);
}

CHttpInput::~CHttpInput() {
    m_pStream->Close();
    CHttpStream::Destroy(m_pStream);
}

int CHttpInput::Read(BYTE* pBuffer, int cbBuffer) {
    const int result = m_pStream->Read(pBuffer, cbBuffer, kReadLimitMs);
    return result < 0 ? kErrorIo : result;
}

LONGLONG CHttpInput::Seek(LONGLONG offset, int whence) {
    LONGLONG target;
    switch (whence) {
    case kSizeQuery: return m_pStream->ContentLength() ? static_cast<LONGLONG>(m_pStream->ContentLength()) : -1;
    case kFromStart: target = offset; break;
    case kFromCurrent: target = static_cast<LONGLONG>(m_pStream->Position()) + offset; break;
    default: return -1;
    }
    if (target < 0 || target > 0xFFFFFFFFll)
        return -1;
    return m_pStream->Seek(static_cast<DWORD>(target), 0);
}
