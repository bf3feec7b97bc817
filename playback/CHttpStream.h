// The bytes of one HTTP response, read over the platform's asynchronous
// internet service: the base of the stream sources behind the program's
// "http" and "mms" input protocols.
//
// A stream is connected (Connect), then Detect decides the source kind and
// may hand the connection to a more specific object (CHttpShoutCast,
// CHttpMMS), which takes it over. Reads take what the ring holds first and
// keep what came from the network in it, so that a Seek back over recent
// bytes needs no new request.
//
// Positions: Position() is the resource offset of the next byte Read
// delivers. The ring's base holds the byte at the offset where the current
// connection began (0 for a fresh connect, the range start after a range
// reconnect).
//
// Threading: the connection is driven by one thread at a time: the opening
// thread until a CHttpStreamBuffer starts its reader, then the reader.
// Waiting for the service is done on that thread's message queue (thread
// messages 1792..1794 only); UM_STREAM_CANCEL posted to it ends a wait.
// Close belongs to the owner and must not race a thread inside the stream.
//
// Lifetime: streams are deleted through Destroy, never with delete, since a
// buffered stream may have to leave its deletion to its reader thread.
#pragma once

#include <atomic>

#include "IStreamEngine.h"
#include "platform.h"

class CStreamRing;
class CStreamWait;

// Thread messages of the stream sources.
constexpr UINT UM_STREAM_CANCEL = WM_USER + 769;  // stop waiting; lParam: the thread owed an acknowledgement
constexpr UINT UM_STREAM_DATA = WM_USER + 770;    // a step completed (lParam its result) or data arrived
constexpr UINT UM_STREAM_END = WM_USER + 772;     // the network has no more data and the ring is empty

class CHttpStream {
public:
    static constexpr int kUrlChars = 260;
    static constexpr int kHeaderChars = 512;
    static constexpr DWORD kNetworkReadSize = 32768;

    CHttpStream();
    static void Destroy(CHttpStream* pStream);

    // Slots 0-13, in this order: the layout every stream class shares.
    virtual void SetEngine(IStreamEngine* pEngine);
    // Closes the URL and internet handles (cancelling a thread still
    // waiting on them) and forgets the response facts.
    virtual void Close();
    // Up to cbBuffer bytes: the ring's first, then the network's. 0 at the
    // end of the data, -1 when nothing could be read (error, cancel, limit).
    // A cancel that comes after some bytes ends the read with them; the
    // next read of that thread then gives -1.
    virtual int Read(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs);
    // Moves to dwPosition (dwEnd: last byte of a range, 0 open-ended), from
    // the ring when it still holds that byte, else by a range request.
    // The new position, or -1.
    virtual LONGLONG Seek(DWORD dwPosition, DWORD dwEnd);
    // Moves the whole connection out of pOther into this stream (which
    // must be unconnected); non-zero when this stream is to be used.
    virtual BOOL TakeOver(CHttpStream* pOther);
    // Reads the first bytes and returns the stream object to use: this one,
    // or a new one that took the connection over (this one is then
    // destroyed). Runs on the opening thread before any other read.
    virtual CHttpStream* Detect();
    // 0, -1 when the handle cannot be opened, -2 when the status callback
    // cannot be registered.
    virtual int OpenInternet(LPCWSTR pszAgent, LPCWSTR pszProxy, LPCWSTR pszBypass);
    // Requests the URL again from the current position: 0 connected, 2 no
    // response, -2 no URL or a 4xx status, -1 cancelled, -1000 time limit.
    virtual int Reconnect(DWORD dwTimeoutMs);

protected:
    virtual int ReadNetwork(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs);
    virtual void BuildHeaders();
    virtual void OnConnected();
    virtual void OnConnectedHook();
    // Every network read; dwPosition is the resource offset of pData[0].
    virtual void OnData(const BYTE* pData, int cbData, DWORD dwPosition);
    virtual ~CHttpStream();

public:
    // Beyond the shared slots. A plain stream has no reader thread.
    virtual void StartReader() {}

    // Close, then: -2 for an empty or overlong URL; "mms://" is requested as
    // "http://". Returns Reconnect's result (or OpenInternet's failure).
    int Connect(LPCWSTR pszUrl, DWORD dwTimeoutMs);
    // The window that receives UM_DECODER_BUFFERING (wParam = percent).
    void SetNotifyWindow(HWND hWnd) { m_hWndNotify.store(hWnd); }

    IStreamEngine* Engine() const { return m_pEngine.load(); }
    HWND NotifyWindow() const { return m_hWndNotify.load(); }
    LPCWSTR Url() const { return m_szUrl; }
    LPCWSTR UserAgent() const { return m_szUserAgent; }
    LPCWSTR ContentType() const { return m_szContentType; }
    DWORD ContentLength() const { return m_dwContentLength; }
    DWORD Position() const { return m_dwPosition; }
    DWORD RangeEnd() const { return m_dwRangeEnd; }
    BOOL RangesSupported() const { return m_bRangesSupported; }
    DWORD OpenFlags() const { return m_dwFlags; }
    LPCWSTR Headers() const { return m_szHeaders; }
    BOOL IsConnected() const { return m_hUrl != nullptr; }
    CStreamRing* Ring() const { return m_pRing; }

protected:
    // Called by Destroy before the owner's reference goes: ends what could
    // still touch the object. May leave the deletion to another thread.
    virtual void Shutdown() {}
    // True while another thread (a reader) owns the connection.
    virtual bool ConnectionBusy() const { return false; }
    void AddRef() { m_nRefs.fetch_add(1); }
    void Release();

    void SwapConnection(CHttpStream& other);
    void CloseHandles();
    void CloseUrl();
    BOOL EnsureRing(DWORD dwCapacity);
    // One read step of at most cbBuffer bytes (bWhole: until cbBuffer are
    // in or the body ends), with a limit for the whole call.
    int ReadFromNetwork(BYTE* pBuffer, int cbBuffer, DWORD dwTimeoutMs, bool bWhole);
    void PostFill();
    DWORD NetworkPosition() const { return m_dwOrigin + m_dwReceived.load(); }

    CStreamWait* m_pWait;
    std::atomic<HWND> m_hWndNotify{nullptr};
    std::atomic<IStreamEngine*> m_pEngine{nullptr};
    HINTERNET m_hInternet = nullptr;
    HINTERNET m_hUrl = nullptr;
    DWORD m_dwFlags = 0;
    WCHAR m_szUrl[kUrlChars] = {};
    WCHAR m_szUserAgent[kUrlChars] = {};
    WCHAR m_szContentType[kUrlChars] = {};
    DWORD m_dwContentLength = 0;
    DWORD m_dwPosition = 0;
    DWORD m_dwRangeEnd = 0;
    std::atomic<DWORD> m_dwReceived{0};  // since the last connect; the reader adds to it
    WCHAR m_szHeaders[kHeaderChars] = {};
    BOOL m_bRangesSupported = FALSE;
    CStreamRing* m_pRing = nullptr;
    DWORD m_dwOrigin = 0;  // resource offset of the ring's base and of the connection's first byte
    DWORD m_dwLastStatus = 0;  // of the last request
    int m_nLastNetResult = 0;  // CStreamWait result of the last network read
    LPARAM m_lCancelSender = 0;  // of the cancel that ended the last network read
    DWORD m_dwOwedCancel = 0;    // thread whose cancel a read answered with data (see ReadFromNetwork)

private:
    CHttpStream(const CHttpStream&) = delete;
    CHttpStream& operator=(const CHttpStream&) = delete;
    void ReadContentRange();
    bool Prime();

    std::atomic<LONG> m_nRefs{1};
};
