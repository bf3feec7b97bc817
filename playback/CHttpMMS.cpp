#include "CHttpMMS.h"

#include <algorithm>
#include <cstring>

namespace {

bool HasPrefix(char type) { return type == 'D' || type == 'M' || type == 'H'; }

}  // namespace

CHttpMMS::CHttpMMS() : m_pChunk(new BYTE[kChunkBufferSize]) {
    StringCchCopyW(m_szUserAgent, kUrlChars, u"NSPlayer/10.0.0.3802");
}

CHttpMMS::~CHttpMMS() = default;

LONGLONG CHttpMMS::Seek(DWORD, DWORD) { return -1; }

void CHttpMMS::ForgetChunk() {
    m_cbHave = 0;
    m_cbChunk = 0;
    m_nPayloadAt = 0;
    m_nPayloadEnd = 0;
    m_chType = 0;
}

BOOL CHttpMMS::TakeOver(CHttpStream* pOther) {
    if (!CHttpStream::TakeOver(pOther))
        return FALSE;
    if (m_dwPosition != 0) {
        SwapConnection(*pOther);  // no way back to the start: not ours
        return FALSE;
    }
    if (ReadStreamHeader() == 0)
        return TRUE;
    SwapConnection(*pOther);
    pOther->Close();
    return FALSE;
}

int CHttpMMS::Reconnect(DWORD dwTimeoutMs) {
    ForgetChunk();
    const int result = CHttpStream::Reconnect(dwTimeoutMs);
    if (result != 0)
        return result;
    // The stream header is read through the ring, which the first connect
    // of this object has not made yet.
    OnConnected();
    return ReadStreamHeader();
}

// An "M" chunk, then chunks up to the "H" chunk, whose payload Read gives
// first. 0, or -19.
int CHttpMMS::ReadStreamHeader() {
    ForgetChunk();
    if (ReadChunk(GetTickCount(), kHeaderChunkLimitMs) != 1 || m_chType != 'M')
        return kFramingError;
    do {
        if (ReadChunk(GetTickCount(), kHeaderChunkLimitMs) != 1)
            return kFramingError;
    } while (m_chType != 'H');
    return 0;
}

// Reads into the chunk being assembled until it holds cbWanted bytes: the
// count read, 0 at the end of the data, or the read's error.
int CHttpMMS::ReadChunkPart(int cbWanted, DWORD dwStart, DWORD dwLimitMs) {
    int total = 0;
    while (m_cbHave < cbWanted) {
        // In pieces no ring is too small for.
        const int piece = std::min(cbWanted - m_cbHave, static_cast<int>(kNetworkReadSize));
        const int read = CHttpStreamBuffer::Read(m_pChunk.get() + m_cbHave, piece,
                                                 CStreamSignal::Remaining(dwStart, dwLimitMs));
        if (read <= 0)
            return read;
        m_cbHave += read;
        total += read;
    }
    return total;
}

// The next chunk: 1 when it is in, 0 at the end of the data between
// chunks, -19 for broken framing, or a read's error with the part read so
// far kept.
int CHttpMMS::ReadChunk(DWORD dwStart, DWORD dwLimitMs) {
    if (m_cbChunk == 0) {
        const int read = ReadChunkPart(kChunkHeadSize, dwStart, dwLimitMs);
        if (read == 0 && m_cbHave == 0)
            return 0;
        if (read <= 0)
            return read == 0 ? kFramingError : read;
        if (m_pChunk[0] != '$' && m_pChunk[0] != 0xA4)
            return kFramingError;
        const int length = m_pChunk[2] | m_pChunk[3] << 8;
        const char type = static_cast<char>(m_pChunk[1]);
        if (HasPrefix(type) && length < kPrefixSize)
            return kFramingError;
        m_cbChunk = kChunkHeadSize + length;
    }
    const int read = ReadChunkPart(m_cbChunk, dwStart, dwLimitMs);
    if (read < 0 || (read == 0 && m_cbHave < m_cbChunk))
        return read < 0 ? read : kFramingError;
    m_chType = static_cast<char>(m_pChunk[1]);
    m_nPayloadAt = kChunkHeadSize + (HasPrefix(m_chType) ? kPrefixSize : 0);
    m_nPayloadEnd = m_cbChunk;
    m_cbHave = 0;
    m_cbChunk = 0;
    return 1;
}

int CHttpMMS::Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) {
    if (cbBuffer <= 0)
        return cbBuffer == 0 ? 0 : -1;
    const DWORD start = GetTickCount();
    while (m_nPayloadAt >= m_nPayloadEnd) {
        const int result = ReadChunk(start, dwTimeoutMs);
        if (result == 0)
            return 0;
        if (result == kFramingError || (result == 1 && m_chType != 'D')) {
            Close();
            return kFramingError;
        }
        if (result < 0)
            return result;
    }
    const int count = std::min(cbBuffer, m_nPayloadEnd - m_nPayloadAt);
    std::memcpy(pBuffer, m_pChunk.get() + m_nPayloadAt, static_cast<size_t>(count));
    m_nPayloadAt += count;
    return count;
}
