#include "CMmsInput.h"

#include <algorithm>
#include <cstring>

#include "CHttpInput.h"
#include "CHttpMMS.h"

CMmsInput* CMmsInput::Open(LPCSTR pszUrl, int* pnError) {
    *pnError = kErrorIo;
    WCHAR szUrl[CHttpInput::kUrlChars] = {};
    const int cbUrl = static_cast<int>(std::min<size_t>(std::strlen(pszUrl), CHttpInput::kUrlChars - 1));
    if (cbUrl == 0 || MultiByteToWideChar(CP_ACP, 0, pszUrl, cbUrl, szUrl, CHttpInput::kUrlChars - 1) <= 0)
        return nullptr;
    auto* pStream = new CHttpMMS;
    if (pStream->Connect(szUrl, kConnectLimitMs) != 0) {
        CHttpStream::Destroy(pStream);
        return nullptr;
    }
    *pnError = 0;
    return new CMmsInput(pStream);
}

CMmsInput::~CMmsInput() {
    m_pStream->Close();
    CHttpStream::Destroy(m_pStream);
}

int CMmsInput::Read(BYTE* pBuffer, int cbBuffer) {
    const int result = m_pStream->Read(pBuffer, cbBuffer, kReadLimitMs);
    return result < 0 ? kErrorIo : result;
}
