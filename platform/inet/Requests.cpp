// Sending requests and reading their bodies: the state shared between the
// caller's thread and the network thread's transfer.
#include <algorithm>
#include <cstring>

#include "HttpTransfer.h"
#include "NetworkThread.h"
#include "internal.h"
#include "winerror.h"

namespace orvi::inet {
namespace {

// InetLock held: lets a transfer paused by flow control continue once the
// reader has taken half of the buffer.
void MaybeResume(const std::shared_ptr<InetRequest>& request) {
    if (!request->paused || request->resumePosted || request->Buffered() >= kBufferLimit / 2)
        return;
    request->resumePosted = true;
    NetworkThread::Instance().Post([request] {
        if (request->transfer)
            request->transfer->Resume();
    });
}

// InetLock held: a URL handle whose request failed was never given to the
// caller; it leaves the tree without a HANDLE_CLOSING.
void DiscardUrlHandle(const std::shared_ptr<InetRequest>& request) {
    RemoveHandle(request->handle);
    request->closing = true;
    if (InetObject* parent = request->parent) {
        std::erase_if(parent->children, [&](const auto& child) { return child == request; });
        request->parent = nullptr;
    }
    NetworkThread::Instance().Post([request] { request->transfer.reset(); });
}

size_t TakeBody(InetRequest& request, void* buffer, size_t size) {
    size_t count = std::min(size, request.Buffered());
    if (count)
        std::memcpy(buffer, request.body.data() + request.bodyOffset, count);
    request.bodyOffset += count;
    return count;
}

}  // namespace

void StartRequest(const std::shared_ptr<InetRequest>& request) {
    request->state = RequestState::Sending;
    request->error = 0;
    request->statusCode = 0;
    request->response.Clear();
    request->body.clear();
    request->bodyOffset = 0;
    request->paused = false;
    unsigned generation = ++request->generation;
    RequestSettings settings = request->settings;
    settings.headers = request->requestHeaders.Fields();
    NetworkThread::Instance().Post([request, generation, settings = std::move(settings)] {
        {
            InetGuard guard(InetLock());
            if (request->closing)
                return;
        }
        request->transfer.reset();
        auto transfer = std::make_unique<HttpTransfer>(request, generation);
        DWORD error = transfer->Start(settings);
        request->transfer = std::move(transfer);
        if (error) {
            InetGuard guard(InetLock());
            CompleteSend(request, error);
        }
    });
}

void CompleteSend(const std::shared_ptr<InetRequest>& request, DWORD error) {
    if (request->state != RequestState::Sending)
        return;
    request->state = error ? RequestState::Done : RequestState::Receiving;
    request->error = error;
    request->changed.notify_all();
    if (request->urlHandle && error) {
        DiscardUrlHandle(request);
        if (request->async)
            QueueAsyncResult(request, INTERNET_STATUS_REQUEST_COMPLETE, 0, error);
        return;
    }
    if (!request->async)
        return;
    auto handle = reinterpret_cast<DWORD_PTR>(request->handle);
    if (request->urlHandle)
        QueueAsyncResult(request, INTERNET_STATUS_HANDLE_CREATED, handle, 0);
    if (!error) {
        DWORD bytes = static_cast<DWORD>(request->response.ReceivedBytes());
        QueueStatus(request, INTERNET_STATUS_RESPONSE_RECEIVED, &bytes, sizeof bytes);
    }
    DWORD_PTR result = error ? FALSE : request->urlHandle ? handle : TRUE;
    QueueAsyncResult(request, INTERNET_STATUS_REQUEST_COMPLETE, result, error);
}

void FillPendingRead(const std::shared_ptr<InetRequest>& request) {
    PendingRead pending = request->pendingRead;
    if (request->Buffered() == 0 && request->state != RequestState::Done)
        return;
    request->pendingRead = PendingRead();
    DWORD count = static_cast<DWORD>(TakeBody(*request, pending.buffer, pending.size));
    *pending.count = count;
    MaybeResume(request);
    bool ok = count > 0 || request->error == 0;
    QueueAsyncResult(request, INTERNET_STATUS_REQUEST_COMPLETE, ok ? TRUE : FALSE,
                     ok ? 0 : request->error);
}

BOOL WaitForResponse(InetGuard& guard, InetRequest& request) {
    if (NetworkThread::Instance().IsCurrent()) {
        // The transfer runs on this thread: blocking here would never end.
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    request.changed.wait(guard, [&] { return request.state != RequestState::Sending || request.closing; });
    // A failed URL request is discarded (closing) with its error kept.
    if (request.statusCode == 0 || request.closing) {
        bool failed = request.statusCode == 0 && request.state == RequestState::Done && request.error;
        SetLastError(failed ? request.error : DWORD(ERROR_INTERNET_OPERATION_CANCELLED));
        return FALSE;
    }
    return TRUE;
}

BOOL ReadResponse(HINTERNET handle, void* buffer, DWORD size, DWORD* count, bool allowPending,
                  bool noWait) {
    InetGuard guard(InetLock());
    auto request = FindHandleAs<InetRequest>(handle, InetKind::Request);
    if (!request)
        return FALSE;
    *count = 0;
    if (request->state == RequestState::Created || request->state == RequestState::Sending ||
        request->pendingRead.active) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return FALSE;
    }
    for (;;) {
        if (request->closing) {
            SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
            return FALSE;
        }
        if (request->Buffered() > 0 || request->state == RequestState::Done || size == 0 || noWait) {
            *count = static_cast<DWORD>(TakeBody(*request, buffer, size));
            MaybeResume(request);
            if (*count == 0 && size > 0 && request->state == RequestState::Done && request->error) {
                // Kept: every later read reports the broken body too.
                SetLastError(request->error);
                return FALSE;
            }
            return TRUE;
        }
        if (allowPending && request->async) {
            request->pendingRead = {true, static_cast<char*>(buffer), size, count};
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        }
        if (NetworkThread::Instance().IsCurrent()) {
            SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
            return FALSE;
        }
        request->changed.wait(guard);
    }
}

}  // namespace orvi::inet
