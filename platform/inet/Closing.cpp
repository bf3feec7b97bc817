// Closing a handle and everything made under it.
#include <vector>

#include "HttpTransfer.h"
#include "NetworkThread.h"
#include "internal.h"

namespace orvi::inet {
namespace {

void CollectChildrenFirst(const std::shared_ptr<InetObject>& object,
                          std::vector<std::shared_ptr<InetObject>>& out) {
    for (const auto& child : object->children)
        CollectChildrenFirst(child, out);
    out.push_back(object);
}

// Network thread: stops the request's transfer and cancels what the caller
// still waits for. Returns false for a URL handle the caller never received.
bool CancelRequest(InetRequest& request) {
    request.transfer.reset();
    bool pending;
    bool announced;
    {
        InetGuard guard(InetLock());
        announced = !(request.urlHandle && request.state == RequestState::Sending);
        pending = request.async &&
                  (request.state == RequestState::Sending || request.pendingRead.active);
        request.pendingRead = PendingRead();
        if (request.state != RequestState::Done) {
            request.state = RequestState::Done;
            request.error = ERROR_INTERNET_OPERATION_CANCELLED;
        }
    }
    if (pending) {
        INTERNET_ASYNC_RESULT result{FALSE, ERROR_INTERNET_OPERATION_CANCELLED};
        DeliverStatus(request, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
    }
    return announced;
}

void CloseOnNetworkThread(InetObject& object) {
    bool announced = true;
    if (object.kind == InetKind::Request)
        announced = CancelRequest(static_cast<InetRequest&>(object));
    if (announced) {
        HINTERNET handle = object.handle;
        DeliverStatus(object, INTERNET_STATUS_HANDLE_CLOSING, &handle, sizeof handle);
    }
    {
        InetGuard guard(InetLock());
        object.closed = true;
        object.children.clear();
    }
    if (object.kind == InetKind::Session)
        NetworkThread::Instance().ReleaseSession();
}

}  // namespace

BOOL CloseHandleTree(HINTERNET handle) {
    std::vector<std::shared_ptr<InetObject>> doomed;
    {
        InetGuard guard(InetLock());
        auto object = FindHandle(handle);
        if (!object)
            return FALSE;
        CollectChildrenFirst(object, doomed);
        for (const auto& item : doomed) {
            item->closing = true;
            RemoveHandle(item->handle);
            if (item->kind == InetKind::Request)
                static_cast<InetRequest&>(*item).changed.notify_all();
        }
        if (InetObject* parent = object->parent) {
            std::erase_if(parent->children, [&](const auto& child) { return child == object; });
            object->parent = nullptr;
        }
    }
    // Waits so that, once the caller has its answer, no callback for these
    // handles runs any more and no pending read writes into its buffer.
    NetworkThread::Instance().RunAndWait([&doomed] {
        for (const auto& item : doomed)
            CloseOnNetworkThread(*item);
    });
    return TRUE;
}

}  // namespace orvi::inet
