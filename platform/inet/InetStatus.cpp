// Status callbacks: queued on the network thread, dropped once the handle
// has reported HANDLE_CLOSING, and always called without InetLock.
#include <vector>

#include "NetworkThread.h"
#include "internal.h"

namespace orvi::inet {

void DeliverStatus(InetObject& object, DWORD status, void* info, DWORD infoLength) {
    INTERNET_STATUS_CALLBACK callback;
    HINTERNET handle;
    DWORD_PTR context;
    {
        InetGuard guard(InetLock());
        if (object.closed)
            return;
        callback = object.callback;
        handle = object.handle;
        context = object.context;
    }
    if (callback && callback != INTERNET_INVALID_STATUS_CALLBACK)
        callback(handle, context, status, info, infoLength);
}

void QueueStatus(const std::shared_ptr<InetObject>& object, DWORD status, const void* info,
                 DWORD infoLength) {
    auto bytes = std::make_shared<std::vector<unsigned char>>(
        static_cast<const unsigned char*>(info), static_cast<const unsigned char*>(info) + infoLength);
    NetworkThread::Instance().Post([object, status, bytes] {
        DeliverStatus(*object, status, bytes->empty() ? nullptr : bytes->data(),
                      static_cast<DWORD>(bytes->size()));
    });
}

void QueueAsyncResult(const std::shared_ptr<InetObject>& object, DWORD status, DWORD_PTR result,
                      DWORD error) {
    INTERNET_ASYNC_RESULT info{result, error};
    QueueStatus(object, status, &info, sizeof info);
}

}  // namespace orvi::inet
