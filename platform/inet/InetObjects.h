// The records behind internet handles. Every field is guarded by the
// service's one lock (InetLock) unless its comment says otherwise.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <string>
#include <vector>

#include "HeaderList.h"
#include "wininet.h"

namespace orvi::inet {

class HttpTransfer;

enum class InetKind { Session, Connect, Request };

struct Timeouts {
    DWORD connectMs = 60000;
    DWORD receiveMs = 0;  // 0: wait for the server as long as the caller does
};

struct ProxySettings {
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string proxy;   // as given: "host:port" or "http=host:port ..."
    std::string bypass;  // as given: names separated by ';' or blanks
};

struct InetObject {
    explicit InetObject(InetKind k) : kind(k) {}
    virtual ~InetObject() = default;

    const InetKind kind;
    HINTERNET handle = nullptr;
    DWORD_PTR context = 0;
    INTERNET_STATUS_CALLBACK callback = nullptr;
    bool async = false;
    Timeouts timeouts;
    InetObject* parent = nullptr;  // the parent owns this object through `children`
    std::vector<std::shared_ptr<InetObject>> children;
    // Set when InternetCloseHandle took the handle out of the table: no new
    // operation may start on it.
    bool closing = false;
    // Set after HANDLE_CLOSING was delivered: notifications still queued for
    // the handle are dropped.
    bool closed = false;
};

struct InetSession : InetObject {
    InetSession() : InetObject(InetKind::Session) {}
    std::string agent;
    ProxySettings proxy;
};

struct InetConnect : InetObject {
    InetConnect() : InetObject(InetKind::Connect) {}
    std::shared_ptr<InetSession> session;
    std::string host;
    INTERNET_PORT port = 0;
    std::string user;
    std::string password;
};

// Everything the network thread needs to run one request, copied when the
// request is sent so that the transfer never reads caller-owned state.
struct RequestSettings {
    std::string url;
    std::string verb = "GET";
    std::vector<HeaderList::Field> headers;
    std::string body;
    std::string agent;
    std::string user;
    std::string password;
    ProxySettings proxy;
    Timeouts timeouts;
    DWORD flags = 0;
};

enum class RequestState { Created, Sending, Receiving, Done };

// A read the caller left pending (asynchronous mode, no data buffered): the
// network thread fills it and reports REQUEST_COMPLETE.
struct PendingRead {
    bool active = false;
    char* buffer = nullptr;
    DWORD size = 0;
    DWORD* count = nullptr;
};

struct InetRequest : InetObject {
    InetRequest();
    ~InetRequest() override;

    std::shared_ptr<InetSession> session;
    bool urlHandle = false;  // made by InternetOpenUrlW; announced only on success
    RequestSettings settings;
    HeaderList requestHeaders;

    RequestState state = RequestState::Created;
    // Counts sends; a transfer of an earlier send hands nothing over.
    unsigned generation = 0;
    DWORD error = 0;  // of a send that failed, or of the body once Done
    HeaderList response;
    long statusCode = 0;
    std::string finalUrl;

    std::string body;  // received and not yet read: body[bodyOffset..]
    size_t bodyOffset = 0;
    bool paused = false;        // the transfer is paused because `body` is full
    bool resumePosted = false;  // a resume is queued on the network thread
    PendingRead pendingRead;
    std::condition_variable changed;  // state, body or closing changed

    // Owned and used by the network thread only.
    std::unique_ptr<HttpTransfer> transfer;

    size_t Buffered() const { return body.size() - bodyOffset; }
};

}  // namespace orvi::inet
