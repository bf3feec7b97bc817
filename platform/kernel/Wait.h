// Waiting: one parking spot per thread and the waitable kernel objects.
//
// A waiting thread reads its spot's generation, checks what it waits for
// (objects under the wait lock, its queue under the queue's lock), registers
// with the objects, and parks until the generation moves. Whoever makes a
// wait satisfiable bumps the generation of every registered waiter, so a
// signal that lands between the check and the park is never lost.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "internal.h"

namespace orvi::kernel {

using Clock = std::chrono::steady_clock;

// Absolute end of a wait of dwMilliseconds (INFINITE = no end).
struct Deadline {
    explicit Deadline(DWORD ms);
    bool Infinite() const { return m_infinite; }
    bool Passed() const { return !m_infinite && Clock::now() >= m_end; }
    // Milliseconds left, INFINITE for none, 0 once passed.
    DWORD Remaining() const;

private:
    bool m_infinite;
    Clock::time_point m_end;
};

class ThreadWaiter {
public:
    uint32_t Generation() const { return m_generation.load(std::memory_order_acquire); }
    // Makes the owner's current or next park return.
    void Wake();
    // Returns when the generation differs from seen, or after timeoutMs
    // (INFINITE = no limit). Spins briefly before sleeping in the kernel,
    // which keeps a message hand-off between two busy threads cheap.
    void Park(uint32_t seen, DWORD timeoutMs);

private:
    std::atomic<uint32_t> m_generation{0};
    std::atomic<uint32_t> m_sleeping{0};
};

// The calling thread's spot; lives as long as the thread.
ThreadWaiter& CurrentWaiter();

// Guards the state of every waitable object and their waiter lists.
std::mutex& WaitLock();

class Waitable : public KernelObject {
public:
    using KernelObject::KernelObject;
    // Both called with WaitLock() held.
    virtual bool IsSignaledLocked(DWORD threadId) = 0;
    // Consumes the signal (auto-reset event) or takes ownership (mutex).
    virtual void AcquireLocked(DWORD threadId) { (void)threadId; }
    // Undoes a tentative claim made by IsSignaledLocked when the wait ended
    // without acquiring this object.
    virtual void AbandonClaimLocked(DWORD threadId) { (void)threadId; }
    // Objects whose state can change without a local signal (locks shared
    // with other processes) are polled while waited on.
    virtual bool NeedsPolling() const { return false; }

    void AddWaiterLocked(ThreadWaiter* waiter);
    void RemoveWaiterLocked(ThreadWaiter* waiter);
    void WakeWaitersLocked();

private:
    std::vector<ThreadWaiter*> m_waiters;
};

// What a combined wait watches besides objects: the caller's message queue.
struct QueueWaitSpec {
    DWORD wakeMask = 0;  // 0: do not watch the queue
};

// Waits for one (waitAll false) or all of the objects, or for queue input of
// the mask. Returns WAIT_OBJECT_0 + i, WAIT_OBJECT_0 + count for the queue,
// WAIT_TIMEOUT or WAIT_FAILED (last error set).
DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD ms,
                     const QueueWaitSpec& queue);

}  // namespace orvi::kernel
