// An ICY (SHOUTcast) stream: the audio with the in-band metadata blocks
// taken out, and the "StreamTitle=" text of each block passed to the bound
// engine as the stream's title.
//
// The ICY headers come from the response, or from the first bytes of the
// data when those begin with "ICY 200 OK" (a server behind a plain HTTP
// front). Only "icy-metaint:" above 0 makes this source; "icy-name:" gives
// the station name, shown as the title at the first empty metadata block
// after the engine is bound.
//
// Threading: Read runs on the consumer; the title goes to the engine on
// that thread. Reads are resumable: a read that ends at its time limit
// inside a metadata block keeps the part already read, so the framing is
// never lost.
#pragma once

#include <memory>

#include "CHttpStreamBuffer.h"

class CHttpShoutCast : public CHttpStreamBuffer {
public:
    static constexpr int kMetadataBufferSize = 4096;
    static constexpr int kTitleChars = 512;
    static constexpr int kFramingError = -19;

    CHttpShoutCast();

    // Audio bytes only; -19 when the stream ends inside a metadata block.
    int Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) override;
    // Only to 0: the headers are then parsed again. -1 otherwise.
    LONGLONG Seek(DWORD dwPosition, DWORD dwEnd) override;
    // Keeps the connection when its headers name a metadata interval above
    // 0; otherwise hands it back at its old position.
    BOOL TakeOver(CHttpStream* pOther) override;

    DWORD MetadataInterval() const { return m_dwMetaInterval; }

protected:
    ~CHttpShoutCast() override;

private:
    void ParseHeaders();
    DWORD SkipHeaderBlock(const char* pData, DWORD cbData) const;
    void TakeHeaderFields(const char* pText, DWORD cbText);
    int ReadMetadata(DWORD dwStart, DWORD dwLimitMs);
    void ApplyTitle(bool bEmptyBlock);

    DWORD m_dwMetaInterval = 0;
    DWORD m_dwCountdown = 0;  // audio bytes left before the next metadata block
    // One length byte, then the block text (or the station name) and a zero.
    std::unique_ptr<char[]> m_pMetadata;
    int m_nBlockLength = -1;  // bytes of the block being read, -1 before its length byte
    int m_cbBlockHave = 0;
};
