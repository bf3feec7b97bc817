// Timers: WM_TIMER is generated (never queued) for the thread that owns the
// timer when the timer is due and nothing else is waiting, so a slow handler
// never piles up timer messages. Everything here runs under TreeLock.
#include <algorithm>

#include "internal.h"

namespace orvi::user {
namespace {

// The device's minimum period; shorter ones would only spin the owner.
constexpr UINT kMinimumElapse = 10;

struct Timer {
    DWORD threadId;
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    DWORD due;  // GetTickCount() value
    uint64_t order;
};

std::vector<Timer>& TimersLocked() {
    static auto* timers = new std::vector<Timer>;
    return *timers;
}

uint64_t g_nextOrder = 0;
UINT_PTR g_nextThreadTimerId = 1;

// Signed distance so that GetTickCount wrapping does not break ordering.
int32_t MsUntil(DWORD due, DWORD now) { return static_cast<int32_t>(due - now); }

std::vector<Timer>::iterator FindTimerLocked(DWORD threadId, HWND hwnd, UINT_PTR id) {
    auto& timers = TimersLocked();
    return std::find_if(timers.begin(), timers.end(), [&](const Timer& t) {
        return t.hwnd == hwnd && t.id == id && (hwnd || t.threadId == threadId);
    });
}

void WakeThreadLocked(DWORD threadId) {
    if (auto queue = kernel::FindQueue(threadId))
        queue->Owner().Wake();
}

}  // namespace

UINT_PTR SetTimerInternal(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    EnsureThreadState();
    std::lock_guard guard(TreeLock());
    DWORD threadId = GetCurrentThreadId();
    if (hwnd) {
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return 0;
        threadId = w->threadId;
    }
    elapse = std::max(elapse, kMinimumElapse);
    auto it = FindTimerLocked(threadId, hwnd, id);
    if (!hwnd && (id == 0 || it == TimersLocked().end()))
        id = g_nextThreadTimerId++;
    Timer timer{threadId, hwnd, id, elapse, proc, GetTickCount() + elapse, g_nextOrder++};
    if (it != TimersLocked().end())
        *it = timer;
    else
        TimersLocked().push_back(timer);
    WakeThreadLocked(threadId);
    return hwnd && id == 0 ? 1 : id;
}

bool KillTimerInternal(HWND hwnd, UINT_PTR id) {
    std::lock_guard guard(TreeLock());
    if (hwnd && !FindCheckedLocked(hwnd))
        return false;
    auto it = FindTimerLocked(GetCurrentThreadId(), hwnd, id);
    if (it == TimersLocked().end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    TimersLocked().erase(it);
    return true;
}

void KillWindowTimersLocked(HWND hwnd) {
    auto& timers = TimersLocked();
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

void ForgetThreadTimersLocked(DWORD threadId) {
    auto& timers = TimersLocked();
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.threadId == threadId; }),
                 timers.end());
}

bool TimerDueLocked(DWORD threadId) {
    return MsUntilNextTimerLocked(threadId) == 0;
}

DWORD MsUntilNextTimerLocked(DWORD threadId) {
    const DWORD now = GetTickCount();
    DWORD best = INFINITE;
    for (const Timer& t : TimersLocked())
        if (t.threadId == threadId)
            best = std::min(best, static_cast<DWORD>(std::max(0, MsUntil(t.due, now))));
    return best;
}

bool TakeTimerLocked(DWORD threadId, const kernel::MessageFilter& filter, bool remove, MSG* msg) {
    const DWORD now = GetTickCount();
    Timer* pick = nullptr;
    for (Timer& t : TimersLocked()) {
        if (t.threadId != threadId || MsUntil(t.due, now) > 0)
            continue;
        MSG candidate{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), now, {0, 0}};
        if (!filter.Matches(candidate))
            continue;
        // The longest-overdue timer first; equal ones in the order they were set.
        if (!pick || MsUntil(t.due, pick->due) < 0 ||
            (t.due == pick->due && t.order < pick->order))
            pick = &t;
    }
    if (!pick)
        return false;
    *msg = MSG{pick->hwnd, WM_TIMER, pick->id, reinterpret_cast<LPARAM>(pick->proc), now, {0, 0}};
    if (remove)
        pick->due = now + pick->elapse;
    return true;
}

bool IsLiveTimerProc(HWND hwnd, UINT_PTR id, TIMERPROC proc) {
    std::lock_guard guard(TreeLock());
    auto it = FindTimerLocked(GetCurrentThreadId(), hwnd, id);
    return it != TimersLocked().end() && it->proc == proc;
}

}  // namespace orvi::user
