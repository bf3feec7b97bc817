// Thread message queues and the calls that post to and read from them.
#include <atomic>
#include <unordered_map>

#include "MessageQueue.h"

namespace orvi::kernel {
namespace {

struct QueueTable {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    // Moves on every change of the table, so that a poster's cached lookup
    // can be trusted without taking the lock that every thread shares.
    std::atomic<uint64_t> version{0};
};

QueueTable& Queues() {
    static auto* table = new QueueTable;  // used by threads that may outlive main
    return *table;
}

WindowHooks g_hooks;

// Holds the running thread's queue; retires it when the thread ends, for
// threads the platform did not create.
struct QueueSlot {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueSlot() {
        if (queue)
            RetireCurrentQueue();
    }
};
thread_local QueueSlot t_queue;

DWORD QsBitOf(UINT message) {
    if (message >= WM_KEYFIRST && message <= WM_KEYLAST)
        return QS_KEY;
    if (message == 0x0200)  // WM_MOUSEMOVE
        return QS_MOUSEMOVE;
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        return QS_MOUSEBUTTON;
    return QS_POSTMESSAGE;
}

// The main thread gets its queue before main() runs, so that another thread
// can post to it from the start.
__attribute__((constructor)) void CreateMainThreadQueue() { CurrentQueue(); }

}  // namespace

bool MessageFilter::MatchesMessage(UINT message) const {
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool MessageFilter::Matches(const MSG& msg) const {
    if (hwnd == reinterpret_cast<HWND>(static_cast<intptr_t>(-1))) {
        if (msg.hwnd)
            return false;
    } else if (hwnd && msg.hwnd != hwnd) {
        return false;
    }
    return MatchesMessage(msg.message);
}

void ThreadQueue::Post(const MSG& msg, DWORD qsBit) {
    {
        std::lock_guard guard(m_lock);
        m_entries.push_back({msg, qsBit});
    }
    m_owner.Wake();
}

void ThreadQueue::PostQuit(int exitCode) {
    {
        std::lock_guard guard(m_lock);
        m_quitPending = true;
        m_quitCode = exitCode;
    }
    m_owner.Wake();
}

bool ThreadQueue::TakePosted(const MessageFilter& filter, bool remove, MSG* msg) {
    std::lock_guard guard(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (!filter.Matches(it->msg))
            continue;
        *msg = it->msg;
        if (remove)
            m_entries.erase(it);
        return true;
    }
    // WM_QUIT comes once the posted messages are gone, as on the device.
    if (m_quitPending && m_entries.empty() && filter.MatchesMessage(WM_QUIT)) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(m_quitCode), 0, GetTickCount(), {0, 0}};
        if (remove)
            m_quitPending = false;
        return true;
    }
    return false;
}

DWORD ThreadQueue::StatusBits() {
    std::lock_guard guard(m_lock);
    DWORD bits = m_quitPending ? QS_POSTMESSAGE : 0;
    for (const auto& entry : m_entries)
        bits |= entry.qsBit;
    return bits;
}

ThreadQueue& CurrentQueue() {
    if (!t_queue.queue)
        AdoptQueue(CreateQueue(GetCurrentThreadId()));
    return *t_queue.queue;
}

ThreadWaiter& CurrentWaiter() { return CurrentQueue().Owner(); }

std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId) {
    // The last queue this thread posted to, valid while the table is unchanged.
    thread_local struct {
        uint64_t version = ~0ull;
        DWORD threadId = 0;
        std::shared_ptr<ThreadQueue> queue;
    } cache;
    auto& table = Queues();
    if (cache.threadId == threadId && cache.version == table.version.load(std::memory_order_acquire))
        return cache.queue;
    std::lock_guard guard(table.lock);
    auto it = table.queues.find(threadId);
    cache.version = table.version.load(std::memory_order_relaxed);
    cache.threadId = threadId;
    cache.queue = it == table.queues.end() ? nullptr : it->second;
    return cache.queue;
}

std::shared_ptr<ThreadQueue> CreateQueue(DWORD threadId) {
    auto queue = std::make_shared<ThreadQueue>(threadId);
    auto& table = Queues();
    std::lock_guard guard(table.lock);
    table.queues[threadId] = queue;
    table.version.fetch_add(1, std::memory_order_release);
    return queue;
}

void AdoptQueue(std::shared_ptr<ThreadQueue> queue) { t_queue.queue = std::move(queue); }

void RetireCurrentQueue() {
    if (t_queue.queue)
        RemoveQueue(t_queue.queue->ThreadId());
}

void RemoveQueue(DWORD threadId) {
    auto& table = Queues();
    std::lock_guard guard(table.lock);
    table.queues.erase(threadId);
    table.version.fetch_add(1, std::memory_order_release);
}

void InstallWindowHooks(const WindowHooks& hooks) { g_hooks = hooks; }

void NotifyThreadEnding() {
    if (g_hooks.threadEnding)
        g_hooks.threadEnding();
}

bool PeekQueue(const MessageFilter& filter, bool remove, MSG* msg) {
    if (g_hooks.dispatchSent)
        g_hooks.dispatchSent();
    if (CurrentQueue().TakePosted(filter, remove, msg))
        return true;
    return g_hooks.takeGenerated && g_hooks.takeGenerated(filter, remove, msg);
}

DWORD CurrentQueueStatus() {
    DWORD bits = CurrentQueue().StatusBits();
    if (g_hooks.pendingBits)
        bits |= g_hooks.pendingBits();
    return bits;
}

DWORD CurrentQueueNextDue() {
    return g_hooks.msUntilNextTimer ? g_hooks.msUntilNextTimer() : INFINITE;
}

}  // namespace orvi::kernel

using namespace orvi::kernel;

BOOL PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto queue = FindQueue(idThread);
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    queue->Post(MSG{nullptr, Msg, wParam, lParam, GetTickCount(), {0, 0}}, QsBitOf(Msg));
    return TRUE;
}

BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    return PeekQueue(filter, (wRemoveMsg & PM_REMOVE) != 0, lpMsg) ? TRUE : FALSE;
}

BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    MessageFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    ThreadWaiter& waiter = CurrentWaiter();
    for (;;) {
        uint32_t seen = waiter.Generation();
        if (PeekQueue(filter, true, lpMsg))
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        InputWaitScope idle(CurrentQueue());
        waiter.Park(seen, CurrentQueueNextDue());
    }
}

BOOL WaitMessage() {
    ThreadWaiter& waiter = CurrentWaiter();
    for (;;) {
        uint32_t seen = waiter.Generation();
        if (g_hooks.dispatchSent)
            g_hooks.dispatchSent();
        if (CurrentQueueStatus() & QS_ALLINPUT)
            return TRUE;
        InputWaitScope idle(CurrentQueue());
        waiter.Park(seen, CurrentQueueNextDue());
    }
}

void PostQuitMessage(int nExitCode) { CurrentQueue().PostQuit(nExitCode); }

DWORD MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds,
                                  DWORD dwWakeMask, DWORD dwFlags) {
    if (dwWakeMask & ~static_cast<DWORD>(QS_ALLINPUT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    QueueWaitSpec queue{dwWakeMask};
    return WaitForObjects(nCount, pHandles, (dwFlags & MWMO_WAITALL) != 0, dwMilliseconds, queue);
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD dwWakeMask) {
    return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask,
                                       fWaitAll ? MWMO_WAITALL : 0);
}

DWORD GetQueueStatus(UINT flags) {
    DWORD bits = CurrentQueueStatus() & flags;
    return (bits << 16) | bits;
}
