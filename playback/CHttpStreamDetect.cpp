// Deciding the kind of source from the first bytes of the response.
#include <algorithm>

#include "CHttpMMS.h"
#include "CHttpShoutCast.h"
#include "CHttpStream.h"
#include "CStreamRing.h"

namespace {

constexpr DWORD kPrimeBytes = 32768;
constexpr DWORD kPrimeCapacity = 32772;
constexpr DWORD kPrimeLimitMs = 60000;

bool IsWindowsMediaFraming(const BYTE* pHead, int cbHead) {
    return cbHead >= 2 && pHead[1] == 'M' && (pHead[0] == '$' || pHead[0] == 0xA4);
}

}  // namespace

// Fills the ring with the response's first bytes; they stay unread, so the
// position is where the connection began. The zero byte behind them lets
// the stored text be looked at as a string.
bool CHttpStream::Prime() {
    if (!m_pRing)
        m_pRing = new CStreamRing;
    if (m_pRing->Capacity() < kPrimeBytes && !m_pRing->Allocate(kPrimeCapacity))
        return false;
    DWORD cbRoom = 0;
    BYTE* pSpace = m_pRing->WriteSpace(&cbRoom);
    const int got = pSpace ? ReadNetwork(pSpace, static_cast<int>(std::min(cbRoom, kPrimeBytes)), kPrimeLimitMs) : -1;
    if (got <= 0)
        return false;
    m_pRing->Commit(got);
    m_dwPosition = m_dwOrigin;
    m_pRing->Terminate();
    PostFill();
    return true;
}

CHttpStream* CHttpStream::Detect() {
    if (!Prime())
        return this;
    const DWORD dwStart = m_dwPosition;
    BYTE head[8] = {};
    const int cbHead = Read(head, sizeof(head), kPrimeLimitMs);
    Seek(dwStart, 0);
    if (IsWindowsMediaFraming(head, cbHead)) {
        CHttpStream* pMms = new CHttpMMS;
        if (pMms->TakeOver(this)) {
            Destroy(this);
            return pMms;
        }
        Destroy(pMms);
        return this;
    }
    CHttpStream* pIcy = new CHttpShoutCast;
    if (pIcy->TakeOver(this)) {
        Destroy(this);
        return pIcy;
    }
    Destroy(pIcy);
    return this;
}
