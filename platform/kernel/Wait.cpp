// Parking threads and waiting for objects and queue input.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>

#include "MessageQueue.h"
#include "Wait.h"

namespace orvi::kernel {
namespace {

// Spinning briefly before sleeping lets two threads on different cores hand
// messages back and forth without paying a kernel sleep and wake-up for each
// one. The spin is bounded by time, not by rounds: a pause instruction costs
// from a few to over a hundred cycles depending on the processor, and a
// thread that wakes often (a stream reader, a decode loop) would otherwise
// burn a fraction of a millisecond on every wait.
constexpr auto kSpinTime = std::chrono::microseconds(10);
constexpr int kSpinRoundsPerClockRead = 16;

// Objects shared with other processes are looked at again this often.
constexpr DWORD kPollIntervalMs = 5;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op | FUTEX_PRIVATE_FLAG, value,
                   timeout, nullptr, 0);
}

}  // namespace

Deadline::Deadline(DWORD ms) : m_infinite(ms == INFINITE) {
    if (!m_infinite)
        m_end = Clock::now() + std::chrono::milliseconds(ms);
}

DWORD Deadline::Remaining() const {
    if (m_infinite)
        return INFINITE;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left, INFINITE - 1));
}

void ThreadWaiter::Wake() {
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    if (m_sleeping.load(std::memory_order_acquire))
        Futex(&m_generation, FUTEX_WAKE, INT_MAX, nullptr);
}

void ThreadWaiter::Park(uint32_t seen, DWORD timeoutMs) {
    if (timeoutMs == 0)
        return;
    const auto spinEnd = std::chrono::steady_clock::now() + kSpinTime;
    do {
        for (int i = 0; i < kSpinRoundsPerClockRead; ++i) {
            if (m_generation.load(std::memory_order_acquire) != seen)
                return;
            CpuRelax();
        }
    } while (std::chrono::steady_clock::now() < spinEnd);
    m_sleeping.fetch_add(1, std::memory_order_acq_rel);
    // The generation is checked by the kernel against seen, so a wake that
    // arrives after the spin and before the sleep is not lost.
    if (timeoutMs == INFINITE) {
        Futex(&m_generation, FUTEX_WAIT, seen, nullptr);
    } else {
        timespec ts{static_cast<time_t>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000000L};
        Futex(&m_generation, FUTEX_WAIT, seen, &ts);
    }
    m_sleeping.fetch_sub(1, std::memory_order_acq_rel);
}

std::mutex& WaitLock() {
    static auto* lock = new std::mutex;  // used by threads that may outlive main
    return *lock;
}

void Waitable::AddWaiterLocked(ThreadWaiter* waiter) {
    if (std::find(m_waiters.begin(), m_waiters.end(), waiter) == m_waiters.end())
        m_waiters.push_back(waiter);
}

void Waitable::RemoveWaiterLocked(ThreadWaiter* waiter) {
    std::erase(m_waiters, waiter);
}

void Waitable::WakeWaitersLocked() {
    for (ThreadWaiter* waiter : m_waiters)
        waiter->Wake();
}

namespace {

struct WaitSet {
    std::vector<std::shared_ptr<Waitable>> objects;
    bool polling = false;
};

bool CollectObjects(DWORD count, const HANDLE* handles, WaitSet* set) {
    if (count > MAXIMUM_WAIT_OBJECTS || (count > 0 && !handles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (DWORD i = 0; i < count; ++i) {
        auto object = ReferenceHandle(handles[i]);
        auto waitable = std::dynamic_pointer_cast<Waitable>(object);
        if (!waitable) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        set->polling |= waitable->NeedsPolling();
        set->objects.push_back(std::move(waitable));
    }
    return true;
}

// With the wait lock held: the index of the satisfied object (count for
// wait-all), or -1. Claims are acquired before returning.
int CheckObjectsLocked(WaitSet& set, bool waitAll, DWORD tid) {
    int found = -1;
    bool all = true;
    for (size_t i = 0; i < set.objects.size(); ++i) {
        if (set.objects[i]->IsSignaledLocked(tid)) {
            if (!waitAll) {
                found = static_cast<int>(i);
                break;
            }
        } else {
            all = false;
            if (waitAll)
                break;
        }
    }
    if (waitAll && all && !set.objects.empty()) {
        for (auto& object : set.objects)
            object->AcquireLocked(tid);
        return 0;
    }
    if (found >= 0)
        set.objects[found]->AcquireLocked(tid);
    return found;
}

void FinishLocked(WaitSet& set, ThreadWaiter* waiter, DWORD tid) {
    for (auto& object : set.objects) {
        object->RemoveWaiterLocked(waiter);
        object->AbandonClaimLocked(tid);
    }
}

DWORD ParkTime(const Deadline& deadline, const WaitSet& set, const QueueWaitSpec& queue) {
    DWORD ms = deadline.Remaining();
    if (set.polling)
        ms = std::min(ms, kPollIntervalMs);
    if (queue.wakeMask & QS_TIMER)
        ms = std::min(ms, CurrentQueueNextDue());
    return ms;
}

}  // namespace

DWORD WaitForObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD ms,
                     const QueueWaitSpec& queue) {
    WaitSet set;
    if (!CollectObjects(count, handles, &set))
        return WAIT_FAILED;
    const DWORD tid = GetCurrentThreadId();
    ThreadWaiter& waiter = CurrentWaiter();
    Deadline deadline(ms);
    for (;;) {
        uint32_t seen = waiter.Generation();
        {
            std::lock_guard guard(WaitLock());
            int index = CheckObjectsLocked(set, waitAll, tid);
            if (index >= 0) {
                FinishLocked(set, &waiter, tid);
                return WAIT_OBJECT_0 + static_cast<DWORD>(index);
            }
            for (auto& object : set.objects)
                object->AddWaiterLocked(&waiter);
        }
        DWORD result = WAIT_FAILED;
        if (queue.wakeMask && (CurrentQueueStatus() & queue.wakeMask))
            result = WAIT_OBJECT_0 + count;
        else if (deadline.Passed() || ms == 0)
            result = WAIT_TIMEOUT;
        if (result != WAIT_FAILED) {
            std::lock_guard guard(WaitLock());
            FinishLocked(set, &waiter, tid);
            return result;
        }
        if (queue.wakeMask) {
            InputWaitScope idle(CurrentQueue());
            waiter.Park(seen, ParkTime(deadline, set, queue));
        } else {
            waiter.Park(seen, ParkTime(deadline, set, queue));
        }
    }
}

}  // namespace orvi::kernel

using namespace orvi::kernel;

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForObjects(1, &hHandle, false, dwMilliseconds, {});
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    if (nCount == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return WaitForObjects(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds, {});
}
