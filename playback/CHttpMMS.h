// A Windows Media stream served over HTTP, taken apart into its chunks:
// a mark ("$" or 0xA4), a type letter, a 16-bit little-endian length, then
// that many bytes; for the types "D", "M" and "H" the first 8 of them are a
// prefix and the rest is the payload. The stream begins with an "M" chunk,
// and the "H" chunk (the stream header) follows; Read gives the "H" payload
// and then the payload of each "D" chunk.
//
// Any broken framing (a bad mark, a chunk cut short, a prefixed chunk
// shorter than its 8-byte prefix, a chunk other than "D" after the header)
// is -19; a read that ends at its time limit inside a chunk keeps the part
// already read. The source cannot seek.
//
// Threading: as CHttpStreamBuffer; Read runs on the consumer.
#pragma once

#include <memory>

#include "CHttpStreamBuffer.h"

class CHttpMMS : public CHttpStreamBuffer {
public:
    static constexpr int kChunkBufferSize = 65543;
    static constexpr int kChunkHeadSize = 4;
    static constexpr int kPrefixSize = 8;
    static constexpr int kFramingError = -19;
    static constexpr DWORD kHeaderChunkLimitMs = 1000;

    CHttpMMS();

    // Payload bytes of at most one chunk; 0 at the end of the data.
    int Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs) override;
    LONGLONG Seek(DWORD dwPosition, DWORD dwEnd) override;
    // Takes a connection that stands at its start and begins with the stream
    // header; a failure closes the other stream.
    BOOL TakeOver(CHttpStream* pOther) override;
    // The request again, then the stream header.
    int Reconnect(DWORD dwTimeoutMs) override;

    // The type letter of the chunk being served, 0 before the first.
    char ChunkType() const { return m_chType; }

protected:
    ~CHttpMMS() override;

private:
    int ReadChunk(DWORD dwStart, DWORD dwLimitMs);
    int ReadChunkPart(int cbWanted, DWORD dwStart, DWORD dwLimitMs);
    int ReadStreamHeader();
    void ForgetChunk();

    std::unique_ptr<BYTE[]> m_pChunk;  // the chunk's 4 head bytes, then its body
    int m_cbHave = 0;                  // bytes of the chunk being assembled
    int m_cbChunk = 0;                 // its whole size once the head is in, else 0
    int m_nPayloadAt = 0;              // read offset in m_pChunk of the current payload
    int m_nPayloadEnd = 0;
    char m_chType = 0;
};
