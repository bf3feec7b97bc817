// The program's HTTP client: brings up a data connection when the device has
// none, sends GET requests through the asynchronous internet service, and
// reads bodies into memory, into UTF-16 text or into a file.
//
// Threading: a client is used by one thread at a time, the request thread,
// which pumps its own message queue while an asynchronous step is pending
// (so the user interface stays alive). Another thread may end a running
// request only through CloseRequest (or Close), which cancels it by a thread
// message and waits up to 3 seconds for the acknowledgement. The service's
// status callback runs on the network thread; it touches only the
// created-handle slot and the request thread id and posts thread messages.
//
// Lifetime: the destructor calls Close; a derived class calls Close in its
// own destructor, because status callbacks may reach OnStatusCallback until
// the handles are closed.
//
// Results: 200 for success, a server status, or one of the Result codes.
// Bodies, texts and the copy buffer live on the private CHttpHeap and stay
// valid until CloseRequest.
#pragma once

#include <atomic>

#include "COrviHttpAuths.h"
#include "connmgr.h"
#include "platform.h"

class COrviHttp {
public:
    enum Result : int {
        kOk = 200,
        kLocalCopyCurrent = 2,
        kIdle = 3,
        kViaProxy = 4,
        kCancelled = -1,
        kNoAddress = -2,
        kWrongThread = -3,
        kOutOfMemory = -4,
        kTimeout = -16,
        kNetworkFailure = -17,
        kFileFailure = -18,
        kBadUrl = -19,
        kNoAuthorization = -20,
        kConversionFailed = -21,
    };

    // Thread messages that bind the asynchronous steps together. The event's
    // wParam: 100 step complete, 70 handle closing, -1 cancel acknowledged
    // (0 when sent to the owner window); lParam: the client. The cancel's
    // lParam is the thread that wants the acknowledgement.
    static constexpr UINT UM_HTTP_EVENT = WM_USER + 3001;
    static constexpr UINT UM_CONNMGR_STATUS = WM_USER + 3002;
    static constexpr UINT UM_HTTP_CANCEL = WM_USER + 3015;

    static constexpr int kUrlChars = 1040;

    COrviHttp();
    virtual ~COrviHttp();  // Close()
    COrviHttp(const COrviHttp&) = delete;
    COrviHttp& operator=(const COrviHttp&) = delete;

    // Makes sure a data path exists; probeUrl (optional) is fetched once
    // through a proxy the Connection Manager names.
    int EnsureNetwork(LPCWSTR probeUrl);
    // GET for an absolute http:// or https:// URL; on 200 the request stays
    // open for one of the body reads.
    int SendGet(LPCWSTR url);
    // The body, followed by two zero bytes, and its length (0 for an empty
    // body). Each pending read waits up to waitSeconds (0 or less: no
    // limit); maxBytes 0 = no cap, else reading stops once that many bytes
    // are in. Repeated calls return the same body until CloseRequest.
    int ReadBody(const BYTE** data, int waitSeconds, int maxBytes);
    // The body as NUL-terminated UTF-16 and its length in characters.
    int ReadText(LPCWSTR* text);
    // Streams the body into path; the file is replaced only by a complete
    // body, so a failed download keeps the old copy. Bytes written or a code.
    int SaveBodyToFile(LPCWSTR path);
    // 200 downloaded, 2 local copy has the server's time stamp, a server
    // status of 400 or more, or a code.
    int DownloadFile(LPCWSTR url, LPCWSTR path, BOOL connectFirst);
    // 200, or -1 when a request running on another thread did not give up
    // within 3 seconds (then nothing is closed).
    int CloseRequest();
    // CloseRequest, then the internet handle, the connection (left cached
    // for later users) and the copy buffer. Idempotent.
    int Close();

    LPCWSTR ContentType() const { return m_szContentType; }  // lower case, no parameters
    LPCWSTR Charset() const { return m_szCharset; }          // lower case; empty when none
    LPCWSTR UserAgent() const { return m_szUserAgent; }
    LPCWSTR RequestUrl() const { return m_szUrl; }
    int LastStatus() const { return m_nLastStatus; }
    HINTERNET InternetHandle() const { return m_hInternet; }
    HINTERNET RequestHandle() const { return m_hRequest; }
    COrviHttpAuths& Auths() { return m_auths; }
    void SetOwnerWindow(HWND hWnd) { m_hWndOwner = hWnd; }
    void SetDeviceId(LPCWSTR id);
    // Limit of each Connection Manager wait in EnsureNetwork (20000 ms).
    void SetConnectionTimeLimit(DWORD ms) { m_dwConnectionLimit = ms; }

protected:
    // Called on the network thread for every status notification, after the
    // client's own handling.
    virtual void OnStatusCallback(DWORD status, LPVOID info, DWORD infoLength);

private:
    friend class COrviHttpOperation;
    enum class WaitKind { Step, Acknowledgement };
    struct UrlParts;

    static void CALLBACK StatusCallback(HINTERNET hInternet, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD infoLength);

    // COrviHttp.cpp: requests and waits.
    int SendGetOnce(LPCWSTR url, COrviHttpAuth** matched);
    int CheckUrl(LPCWSTR url, UrlParts* parts);
    int OpenInternet(LPCWSTR proxy);
    int OpenRequest(const UrlParts& parts);
    int AddRequestHeaders(COrviHttpAuth* auth);
    int SendAndQueryStatus();
    int WaitForStep(DWORD limitMs, WaitKind kind = WaitKind::Step);
    bool HandleWaitMessage(const MSG& msg, WaitKind kind, int* result);
    void OnCancel(DWORD ackThread);
    void DropStaleEvents();
    HINTERNET TakeCreatedHandle(HINTERNET returned);
    void CloseHandleField(HINTERNET* handle);
    int CancelOtherThread(DWORD otherThread);
    void FreeBodyAndText();

    // COrviHttpBody.cpp: bodies and text.
    struct Chunk;
    static void FreeChunks(Chunk* first);
    int ReadChunks(Chunk* first, DWORD chunkSize, int waitSeconds, int maxBytes, int* total);
    int ReadStep(void* buffer, DWORD size, DWORD waitMs, DWORD* read);
    int PumpAfterRead();
    void ParseContentType();
    int JoinChunks(Chunk* first, DWORD chunkSize, int total);
    int MakeText(const BYTE* body, int length);
    int TextFromUtf16(const BYTE* bytes, int length);
    int ConvertText(UINT codePage, const BYTE* bytes, int length);
    DWORD ContentLength();

    // COrviHttpFile.cpp: files.
    int CopyBodyToFile(HANDLE file, DWORD* written);
    bool LocalCopyIsCurrent(LPCWSTR path, const SYSTEMTIME& serverTime);

    // COrviHttpNetwork.cpp: Connection Manager.
    int OpenDirect();
    int EstablishConnection();
    int EstablishTo(const GUID& destination);
    int EnumerateDestinations(HRESULT mapResult);
    int TryDestination(const GUID& destination, LPCWSTR description, bool* qualified);
    bool QueryProxy(PROXY_CONFIG* config);
    int FinishConnection(const GUID& destination);
    int ReopenThroughProxy(LPCWSTR proxy);
    int WaitForConnection(DWORD limitMs);
    void ReleaseConnection(LONG cache);

    HWND m_hWndOwner = nullptr;
    HANDLE m_hConnection = nullptr;
    HINTERNET m_hInternet = nullptr;
    HINTERNET m_hConnect = nullptr;
    HINTERNET m_hRequest = nullptr;
    std::atomic<HINTERNET> m_hCreated{nullptr};
    std::atomic<DWORD> m_dwAsyncError{0};  // of the last REQUEST_COMPLETE
    LPWSTR m_pText = nullptr;
    int m_nTextLength = 0;
    BYTE* m_pBody = nullptr;  // the heap block; data at m_pBody + m_nBodyOffset
    int m_nBodyOffset = 0;
    int m_nBodyLength = 0;
    WCHAR m_szContentType[260] = {};
    WCHAR m_szCharset[50] = {};
    BYTE* m_pCopyBuffer = nullptr;
    DWORD m_dwCopyBufferSize = 0;
    int m_nLastStatus = kIdle;
    std::atomic<DWORD> m_dwRequestThread{0};
    COrviHttpAuths m_auths;
    WCHAR m_szUrl[kUrlChars] = {};
    WCHAR m_szUserAgent[260] = {};
    GUID m_guidDestination = {};
    WCHAR m_szDeviceId[64] = {};

    WCHAR m_szProxy[260] = {};          // the proxy the internet handle was opened through
    DWORD m_dwConnectionLimit = 20000;  // see SetConnectionTimeLimit
    int m_nOperationDepth = 0;          // nesting of public operations on the request thread
    DWORD m_dwAckThread = 0;            // owed a cancel acknowledgement when the operation ends
};
