// The thread message queue, shared with the window system.
//
// Each queue belongs to one thread. Other threads only append to it (posts,
// input) and wake its owner; the owner alone takes messages out. Sent
// messages, paint and timers belong to the window system, which plugs in
// through WindowHooks so that the retrieval order of the device holds:
// sent messages are handled first, then posted and input messages in arrival
// order, then WM_QUIT, then paint, then timers.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "Wait.h"
#include "msgqueue.h"

namespace orvi::kernel {

struct MessageFilter {
    HWND hwnd = nullptr;  // nullptr: any; (HWND)-1: thread messages only
    UINT min = 0;
    UINT max = 0;  // min = max = 0: any message
    bool Matches(const MSG& msg) const;
    bool MatchesMessage(UINT message) const;
};

class ThreadQueue {
public:
    explicit ThreadQueue(DWORD threadId) : m_threadId(threadId) {}

    DWORD ThreadId() const { return m_threadId; }
    // The owner thread's parking spot: every wait of that thread parks here,
    // so a post wakes it whatever it is waiting for.
    ThreadWaiter& Owner() { return m_owner; }

    // Appends a message; qsBit classifies it (QS_POSTMESSAGE, QS_KEY, ...).
    void Post(const MSG& msg, DWORD qsBit);
    void PostQuit(int exitCode);
    // Takes (or copies) the first posted/input message that matches, then
    // WM_QUIT when one is pending and the filter admits it.
    bool TakePosted(const MessageFilter& filter, bool remove, MSG* msg);
    // QS_* bits of what is queued (posted, input, quit counts as posted).
    DWORD StatusBits();
    // True while the owner is parked waiting for its queue (GetMessage,
    // WaitMessage, a message wait): what "idle" means to automation.
    bool IsWaitingForInput() const { return m_waitingForInput.load(std::memory_order_acquire); }
    void SetWaitingForInput(bool waiting) { m_waitingForInput.store(waiting, std::memory_order_release); }

private:
    struct Entry {
        MSG msg;
        DWORD qsBit;
    };
    const DWORD m_threadId;
    ThreadWaiter m_owner;
    std::mutex m_lock;
    std::deque<Entry> m_entries;
    bool m_quitPending = false;
    int m_quitCode = 0;
    std::atomic<bool> m_waitingForInput{false};
};

// Marks the calling thread as waiting for its queue for the scope's life.
class InputWaitScope {
public:
    explicit InputWaitScope(ThreadQueue& queue) : m_queue(queue) { m_queue.SetWaitingForInput(true); }
    ~InputWaitScope() { m_queue.SetWaitingForInput(false); }
    InputWaitScope(const InputWaitScope&) = delete;
    InputWaitScope& operator=(const InputWaitScope&) = delete;

private:
    ThreadQueue& m_queue;
};

// The calling thread's queue, created on first use for threads the platform
// did not create (and for the main thread before main runs).
ThreadQueue& CurrentQueue();
// The queue of a thread of this process, or nullptr.
std::shared_ptr<ThreadQueue> FindQueue(DWORD threadId);
// Called by CreateThread before the thread starts, so that the queue exists
// from its first instruction; AdoptQueue makes it the running thread's.
std::shared_ptr<ThreadQueue> CreateQueue(DWORD threadId);
void AdoptQueue(std::shared_ptr<ThreadQueue> queue);
// Removes the calling thread's queue from the process's table: posts to the
// thread fail from now on. Called when a thread ends.
void RetireCurrentQueue();
void RemoveQueue(DWORD threadId);
// A new thread id of this process.
DWORD AllocateThreadId();

// The window system's part of every queue. All hooks run on the queue's
// owner thread. Unset hooks mean "nothing of that kind".
struct WindowHooks {
    // Handles every message sent to this thread by other threads.
    void (*dispatchSent)() = nullptr;
    // QS_SENDMESSAGE / QS_PAINT / QS_TIMER bits pending for this thread.
    DWORD (*pendingBits)() = nullptr;
    // Takes a generated message (paint, then timer) admitted by the filter.
    bool (*takeGenerated)(const MessageFilter& filter, bool remove, MSG* msg) = nullptr;
    // Milliseconds until this thread's next timer is due, INFINITE for none.
    DWORD (*msUntilNextTimer)() = nullptr;
    // The thread is ending: its windows go and its senders are released
    // before its handle is signalled, as on the device.
    void (*threadEnding)() = nullptr;
};
void InstallWindowHooks(const WindowHooks& hooks);
// Called by a platform thread as it ends, before its handle is signalled.
void NotifyThreadEnding();

// Retrieval shared by PeekMessageW and GetMessageW.
bool PeekQueue(const MessageFilter& filter, bool remove, MSG* msg);
// Every QS_* bit currently pending for the calling thread.
DWORD CurrentQueueStatus();
// Milliseconds until a generated message (a timer) may become due.
DWORD CurrentQueueNextDue();

}  // namespace orvi::kernel
