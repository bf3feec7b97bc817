// The service's one network thread: it runs every curl transfer through
// one multi handle, executes queued tasks (starting and stopping transfers,
// status callbacks) in the order they were posted, and lives while at least
// one internet session is open.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include <curl/curl.h>

namespace orvi::inet {

class HttpTransfer;

class NetworkThread {
public:
    static NetworkThread& Instance();

    // A session opened / closed. The first open starts the thread; after the
    // last close the thread ends once its queue is empty.
    void RetainSession();
    void ReleaseSession();

    // Queues a task; tasks run in order on the network thread, with no lock
    // of the service held.
    void Post(std::function<void()> task);
    // Runs the task on the network thread and returns when it is done; runs
    // it at once when called on the network thread.
    void RunAndWait(const std::function<void()>& task);
    bool IsCurrent() const;

    // Network thread only.
    CURLM* Multi() const { return m_multi; }
    void AddTransfer(HttpTransfer* transfer);
    void RemoveTransfer(HttpTransfer* transfer);

private:
    NetworkThread() = default;
    void Run();
    bool RunTasks();  // false when the thread should end
    void CheckTransfers();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_tasks;
    int m_sessions = 0;
    bool m_running = false;
    std::thread::id m_threadId;
    CURLM* m_multi = nullptr;            // network thread only while running
    std::set<HttpTransfer*> m_transfers;  // network thread only
};

}  // namespace orvi::inet
