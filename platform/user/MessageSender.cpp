// Sent messages between threads, the per-thread state of window threads and
// the hooks through which the kernel's queue asks for sent, paint and timer
// messages.
//
// A message sent to a window of another thread is parked in the owner's
// incoming list and the owner is woken; the owner handles the list inside
// every queue look (PeekQueue, WaitMessage) and inside its own send waits.
// The sender parks on its own queue's waiter and handles its own incoming
// list meanwhile, which is what keeps two threads sending to each other from
// deadlocking. A target thread that ends, or a window that goes, releases its
// waiting senders with a result of 0.
#include <atomic>
#include <deque>
#include <unordered_map>

#include "internal.h"

namespace orvi::user {
namespace {

constexpr DWORD kHungAfterMs = 5000;

struct SentMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    DWORD flags;  // ISMEX_SEND / ISMEX_NOTIFY, ISMEX_OTHERPROCESS
    std::shared_ptr<kernel::ThreadQueue> sender;  // null for notifications
    bool done = false;
    bool replied = false;
    LRESULT result = 0;
};
using SentPtr = std::shared_ptr<SentMessage>;

struct ThreadState {
    DWORD threadId = 0;
    std::shared_ptr<kernel::ThreadQueue> queue;
    std::deque<SentPtr> incoming;
    std::atomic<DWORD> lastPump{0};
    bool dead = false;
};
using StatePtr = std::shared_ptr<ThreadState>;

std::unordered_map<DWORD, StatePtr>& StatesLocked() {
    static auto* states = new std::unordered_map<DWORD, StatePtr>;
    return *states;
}

void EndThreadState();

// Ends the thread's window-system life when the thread ends.
struct ThreadGuard {
    StatePtr state;
    ~ThreadGuard();
};
thread_local ThreadGuard t_guard;
// Sent messages being handled by this thread, innermost last; a null entry
// stands for a call from this thread itself.
thread_local std::vector<SentPtr> t_handling;

void CompleteLocked(SentMessage& m, LRESULT result) {
    if (m.done)
        return;
    m.done = true;
    m.result = result;
    if (m.sender)
        m.sender->Owner().Wake();
}

void Complete(const SentPtr& m, LRESULT result) {
    std::lock_guard guard(TreeLock());
    CompleteLocked(*m, result);
}

void Handle(const SentPtr& m) {
    t_handling.push_back(m);
    LRESULT result = 0;
    bool ours = false;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindLocked(m->hwnd);
        ours = w && w->threadId == GetCurrentThreadId();
    }
    if (ours)
        result = CallProc(m->hwnd, m->msg, m->wParam, m->lParam);
    t_handling.pop_back();
    Complete(m, result);
}

void DispatchSentHook() {
    ThreadState* st = t_guard.state.get();
    if (!st)
        return;
    st->lastPump.store(GetTickCount(), std::memory_order_relaxed);
    for (;;) {
        SentPtr m;
        {
            std::lock_guard guard(TreeLock());
            if (st->incoming.empty())
                return;
            m = std::move(st->incoming.front());
            st->incoming.pop_front();
            if (m->done)  // the sender gave up
                continue;
        }
        Handle(m);
    }
}

bool HasPaintLocked(DWORD tid) {
    for (HWND h : AllWindowsLocked()) {
        Window* w = FindLocked(h);
        if (w->threadId == tid && NeedsPaintLocked(*w))
            return true;
    }
    return false;
}

DWORD PendingBitsLocked(const ThreadState& st) {
    DWORD bits = st.incoming.empty() ? 0 : QS_SENDMESSAGE;
    if (HasPaintLocked(st.threadId))
        bits |= QS_PAINT;
    if (TimerDueLocked(st.threadId))
        bits |= QS_TIMER;
    return bits;
}

DWORD PendingBitsHook() {
    ThreadState* st = t_guard.state.get();
    if (!st)
        return 0;
    std::lock_guard guard(TreeLock());
    return PendingBitsLocked(*st);
}

bool TakeGeneratedHook(const kernel::MessageFilter& filter, bool remove, MSG* msg) {
    if (!t_guard.state)
        return false;
    const DWORD tid = GetCurrentThreadId();
    std::lock_guard guard(TreeLock());
    if (filter.MatchesMessage(WM_PAINT) && TakePaintLocked(tid, filter, msg))
        return true;
    return TakeTimerLocked(tid, filter, remove, msg);
}

DWORD NextTimerHook() {
    if (!t_guard.state)
        return INFINITE;
    std::lock_guard guard(TreeLock());
    return MsUntilNextTimerLocked(GetCurrentThreadId());
}

// Installed before main, while the process has one thread: the kernel reads
// the hooks without a lock.
const bool s_hooksInstalled = [] {
    kernel::WindowHooks hooks;
    hooks.dispatchSent = DispatchSentHook;
    hooks.pendingBits = PendingBitsHook;
    hooks.takeGenerated = TakeGeneratedHook;
    hooks.msUntilNextTimer = NextTimerHook;
    hooks.threadEnding = EndThreadState;
    kernel::InstallWindowHooks(hooks);
    return true;
}();

ThreadGuard::~ThreadGuard() { EndThreadState(); }

// Idempotent: a platform thread runs it before its handle is signalled, any
// other thread when its thread-local state is destroyed.
void EndThreadState() {
    StatePtr state = std::move(t_guard.state);
    if (!state)
        return;
    std::deque<SentPtr> pending;
    {
        std::lock_guard guard(TreeLock());
        state->dead = true;
        pending.swap(state->incoming);
        StatesLocked().erase(state->threadId);
        ForgetThreadTimersLocked(state->threadId);
    }
    // A released sender finds the windows already gone.
    DropThreadWindows(state->threadId);
    for (auto& m : pending)
        Complete(m, 0);
}

bool IsHung(const ThreadState& st) {
    if (st.queue->IsWaitingForInput())
        return false;
    return GetTickCount() - st.lastPump.load(std::memory_order_relaxed) > kHungAfterMs;
}

bool WaitForReply(const SentPtr& m, SendMode mode, DWORD timeoutMs, LRESULT* result) {
    kernel::ThreadWaiter& waiter = kernel::CurrentWaiter();
    kernel::Deadline deadline(timeoutMs);
    for (;;) {
        uint32_t seen = waiter.Generation();
        if (mode != SendMode::Block)
            DispatchSentHook();
        {
            std::lock_guard guard(TreeLock());
            if (m->done) {
                *result = m->result;
                return true;
            }
            if (deadline.Passed()) {
                // Marking it done makes the target skip it.
                m->done = true;
                SetLastError(ERROR_TIMEOUT);
                return false;
            }
        }
        waiter.Park(seen, deadline.Remaining());
    }
}

LRESULT CallOnThisThread(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    t_handling.push_back(nullptr);
    LRESULT result = CallProc(hwnd, msg, wParam, lParam);
    t_handling.pop_back();
    return result;
}

DWORD QsBitOf(UINT message) {
    if (message >= WM_KEYFIRST && message <= WM_KEYLAST)
        return QS_KEY;
    if (message == WM_MOUSEMOVE)
        return QS_MOUSEMOVE;
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        return QS_MOUSEBUTTON;
    return QS_POSTMESSAGE;
}

// Parks a message in the owner thread's incoming list; null with the last
// error set when the owner is gone or hung.
SentPtr QueueToOwnerLocked(const Window& w, const SentMessage& proto, bool abortIfHung) {
    auto it = StatesLocked().find(w.threadId);
    if (it == StatesLocked().end() || it->second->dead) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    ThreadState& target = *it->second;
    if (abortIfHung && IsHung(target)) {
        SetLastError(ERROR_TIMEOUT);
        return nullptr;
    }
    auto m = std::make_shared<SentMessage>(proto);
    target.incoming.push_back(m);
    target.queue->Owner().Wake();
    return m;
}

}  // namespace

void EnsureThreadState() {
    if (t_guard.state)
        return;
    auto st = std::make_shared<ThreadState>();
    st->threadId = GetCurrentThreadId();
    kernel::CurrentQueue();
    st->queue = kernel::FindQueue(st->threadId);
    st->lastPump.store(GetTickCount());
    std::lock_guard guard(TreeLock());
    StatesLocked()[st->threadId] = st;
    t_guard.state = std::move(st);
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard guard(TreeLock());
        if (Window* w = FindLocked(hwnd))
            proc = w->proc;
    }
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

bool SendLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, SendMode mode, DWORD timeoutMs,
               bool abortIfHung, bool foreign, LRESULT* result) {
    *result = 0;
    SentMessage proto{hwnd, msg, wParam, lParam, ISMEX_SEND, nullptr};
    if (mode == SendMode::Notify)
        proto.flags = ISMEX_NOTIFY;
    else
        proto.sender = kernel::FindQueue(kernel::CurrentQueue().ThreadId());
    if (foreign)
        proto.flags |= ISMEX_OTHERPROCESS;
    SentPtr m;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return false;
        if (w->threadId != GetCurrentThreadId() || foreign) {
            m = QueueToOwnerLocked(*w, proto, abortIfHung);
            if (!m)
                return false;
        }
    }
    if (!m) {
        *result = CallOnThisThread(hwnd, msg, wParam, lParam);
        return true;
    }
    if (mode == SendMode::Notify)
        return true;
    return WaitForReply(m, mode, timeoutMs, result);
}

bool PostLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD tid = 0;
    {
        std::lock_guard guard(TreeLock());
        Window* w = FindCheckedLocked(hwnd);
        if (!w)
            return false;
        tid = w->threadId;
    }
    auto queue = kernel::FindQueue(tid);
    if (!queue) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    queue->Post(MSG{hwnd, msg, wParam, lParam, GetTickCount(), {0, 0}}, QsBitOf(msg));
    return true;
}

void WakeOwnerLocked(const Window& w) {
    auto it = StatesLocked().find(w.threadId);
    if (it != StatesLocked().end())
        it->second->queue->Owner().Wake();
}

bool AllThreadsIdle() {
    std::lock_guard guard(TreeLock());
    for (auto& [tid, st] : StatesLocked()) {
        if (PendingBitsLocked(*st) != 0)
            return false;
        if (st->queue->StatusBits() != 0 || !st->queue->IsWaitingForInput())
            return false;
    }
    return true;
}

void ForgetWindowLocked(HWND hwnd) {
    for (auto& [tid, st] : StatesLocked())
        for (auto& m : st->incoming)
            if (m->hwnd == hwnd)
                CompleteLocked(*m, 0);
}

DWORD CurrentSendFlags() {
    if (t_handling.empty() || !t_handling.back())
        return ISMEX_NOSEND;
    const SentMessage& m = *t_handling.back();
    std::lock_guard guard(TreeLock());
    return m.flags | (m.replied ? ISMEX_REPLIED : 0);
}

bool ReplyToCurrent(LRESULT result) {
    if (t_handling.empty() || !t_handling.back())
        return false;
    SentMessage& m = *t_handling.back();
    std::lock_guard guard(TreeLock());
    if (!m.sender || m.replied || m.done)
        return false;
    m.replied = true;
    CompleteLocked(m, result);
    return true;
}

DWORD QueueBitOf(UINT message) { return QsBitOf(message); }

void DispatchIncomingSent() { DispatchSentHook(); }

LRESULT SendOwner(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    SendLocal(hwnd, msg, wParam, lParam, SendMode::Normal, INFINITE, false, false, &result);
    return result;
}

}  // namespace orvi::user
