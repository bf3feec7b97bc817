// The program's input protocols, which the decoder engine puts in place of
// FFmpeg's own "http", "mms" and "file" (it adapts them to FFmpeg's custom
// I/O; nothing here knows FFmpeg's types).
//
// Results follow FFmpeg's conventions as numbers: Read gives > 0 bytes, 0
// at the end of the stream, or a negative error (-5); Seek gives the new
// position, the size for kSizeQuery, or -1.
//
// Threading: an object is used by one thread at a time (the opening thread
// while FFmpeg opens and probes, then the decode thread). The http stream's
// own contract (CHttpStreamBuffer) says how its reads may be cancelled.
#pragma once

#include "platform.h"

class CHttpStream;

class CInputProtocol {
public:
    enum Whence { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2, kSizeQuery = 0x10000 };
    static constexpr int kErrorOpen = -2;            // http, file: cannot connect / open
    static constexpr int kErrorIo = -5;              // mms open; every failed read
    static constexpr int kErrorUnknownScheme = -22;  // no protocol for the address

    // Opens pszUrl (ANSI code page text) with the protocol its scheme names:
    // "http://" and "https://" -> http, "mms://" -> mms, "file:" or a device
    // path ("\...") -> file. NULL with *pnError set when refused: -2 http or
    // file, -5 mms, kErrorUnknownScheme for any other address.
    static CInputProtocol* Open(LPCSTR pszUrl, int* pnError);

    virtual int Read(BYTE* pBuffer, int cbBuffer) = 0;
    virtual LONGLONG Seek(LONGLONG offset, int whence) = 0;
    // The http input's stream, for binding it to the engine; NULL otherwise.
    virtual CHttpStream* HttpStream() { return nullptr; }
    // Closes the protocol: the stream is closed, then deleted.
    virtual ~CInputProtocol();

protected:
    CInputProtocol() = default;
    CInputProtocol(const CInputProtocol&) = delete;
    CInputProtocol& operator=(const CInputProtocol&) = delete;
};
