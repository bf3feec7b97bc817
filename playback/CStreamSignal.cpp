#include "CStreamSignal.h"

#include <algorithm>

namespace {

// The filter window of PeekMessage that matches thread messages only.
const HWND kThreadMessages = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

}  // namespace

CStreamSignal::CStreamSignal() : m_hEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CStreamSignal::~CStreamSignal() {
    if (m_hEvent)
        CloseHandle(m_hEvent);
}

BOOL CStreamSignal::Post(DWORD dwThread, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const BOOL posted = dwThread ? PostThreadMessageW(dwThread, uMsg, wParam, lParam) : FALSE;
    Set();
    return posted;
}

void CStreamSignal::Set() {
    if (m_hEvent)
        SetEvent(m_hEvent);
}

DWORD CStreamSignal::Remaining(DWORD dwStart, DWORD dwLimitMs) {
    if (dwLimitMs == INFINITE)
        return INFINITE;
    const DWORD elapsed = GetTickCount() - dwStart;
    return elapsed >= dwLimitMs ? 0 : dwLimitMs - elapsed;
}

CStreamSignal::WaitResult CStreamSignal::Wait(UINT uFirst, UINT uLast, DWORD dwStart, DWORD dwLimitMs,
                                              MSG* pMsg) {
    for (;;) {
        if (PeekMessageW(pMsg, kThreadMessages, uFirst, uLast, PM_REMOVE))
            return kMessage;
        const DWORD left = Remaining(dwStart, dwLimitMs);
        if (left == 0)
            return kTimeout;
        DWORD woken;
        if (GetQueueStatus(QS_POSTMESSAGE) & QS_POSTMESSAGE)
            woken = WaitForSingleObject(m_hEvent, std::min(left, kSliceMs));
        else
            woken = MsgWaitForMultipleObjects(1, &m_hEvent, FALSE, left, QS_POSTMESSAGE | QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            return kEvent;
    }
}
