// The bracket around each public operation of COrviHttp.
#pragma once

#include <utility>

#include "COrviHttp.h"

// Marks the calling thread as the request thread for the outermost public
// operation (nested operations share it), and on leaving drops its stale
// events and hands a pending
// cancel acknowledgement to the thread that asked for it: only then has the
// operation stopped touching the client, so the canceller may close and free
// what is left.
class COrviHttpOperation {
public:
    explicit COrviHttpOperation(COrviHttp& http) : m_http(http) {
        if (m_http.m_nOperationDepth++ == 0)
            m_http.m_dwRequestThread.store(GetCurrentThreadId());
    }
    ~COrviHttpOperation() {
        if (--m_http.m_nOperationDepth != 0)
            return;
        // Closing handles posts events nobody waits for; they must not reach
        // the thread's own message loop or a later operation.
        m_http.DropStaleEvents();
        DWORD self = GetCurrentThreadId();
        m_http.m_dwRequestThread.compare_exchange_strong(self, 0);  // a canceller may own it now
        if (DWORD ack = std::exchange(m_http.m_dwAckThread, 0))
            PostThreadMessageW(ack, COrviHttp::UM_HTTP_EVENT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(&m_http));
    }
    COrviHttpOperation(const COrviHttpOperation&) = delete;
    COrviHttpOperation& operator=(const COrviHttpOperation&) = delete;

private:
    COrviHttp& m_http;
};
