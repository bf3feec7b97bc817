// Waking a thread that waits inside a stream operation, and the wait itself.
//
// Waiting is done on the waiting thread's own message queue, as everywhere
// in the system, but a wait takes only thread messages of the range it is
// given: the messages of other parts (the decode thread's own, a window's)
// stay queued for their owners. Because the platform's queue wait wakes for
// any queued message, a wait whose queue already holds such foreign
// messages could not sleep on the queue; it sleeps on the signal's event
// instead, which every Post of this class also sets, and looks at the queue
// again every kSliceMs for messages other threads posted without it.
//
// Threading: Post and Set may be called from any thread; Wait only by the
// thread whose queue it reads. The object must outlive every Post to it.
#pragma once

#include "platform.h"

class CStreamSignal {
public:
    enum WaitResult { kMessage, kEvent, kTimeout };
    static constexpr DWORD kSliceMs = 20;

    CStreamSignal();
    ~CStreamSignal();
    CStreamSignal(const CStreamSignal&) = delete;
    CStreamSignal& operator=(const CStreamSignal&) = delete;

    // Posts the thread message and sets the event. FALSE when the thread
    // has no queue (it has ended).
    BOOL Post(DWORD dwThread, UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Sets the event alone (a wake-up without a message).
    void Set();

    // Takes the first thread message in [uFirst, uLast] from the calling
    // thread's queue into *pMsg (kMessage), or returns kEvent when the
    // event was set first, or kTimeout once dwLimitMs have passed since
    // dwStart (GetTickCount time; INFINITE for no limit). Messages sent to
    // the thread's windows are dispatched meanwhile.
    WaitResult Wait(UINT uFirst, UINT uLast, DWORD dwStart, DWORD dwLimitMs, MSG* pMsg);

    // Milliseconds left of a limit that began at dwStart (INFINITE stays).
    static DWORD Remaining(DWORD dwStart, DWORD dwLimitMs);

private:
    HANDLE m_hEvent;
};
