#include "NetworkThread.h"

#include <future>
#include <vector>

#include "HttpTransfer.h"

namespace orvi::inet {
namespace {

thread_local bool t_onNetworkThread = false;

// The poll wakes at least this often to check receive time-outs.
constexpr int kPollMs = 250;

}  // namespace

NetworkThread& NetworkThread::Instance() {
    static auto* instance = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return new NetworkThread;  // lives until exit: its thread may outlive main
    }();
    return *instance;
}

void NetworkThread::RetainSession() {
    std::lock_guard guard(m_mutex);
    ++m_sessions;
    if (m_running)
        return;
    m_running = true;
    // Detached: the thread ends by itself after the last session; a finished
    // thread is never joined, so process exit cannot wait for it.
    std::thread([this] { Run(); }).detach();
}

void NetworkThread::ReleaseSession() {
    std::lock_guard guard(m_mutex);
    --m_sessions;
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void NetworkThread::Post(std::function<void()> task) {
    std::lock_guard guard(m_mutex);
    m_tasks.push_back(std::move(task));
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void NetworkThread::RunAndWait(const std::function<void()>& task) {
    if (IsCurrent()) {
        task();
        return;
    }
    // Shared with the task: set_value may still run when the waiter returns.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    Post([&task, done] {
        task();
        done->set_value();
    });
    finished.wait();
}

bool NetworkThread::IsCurrent() const { return t_onNetworkThread; }

void NetworkThread::AddTransfer(HttpTransfer* transfer) {
    m_transfers.insert(transfer);
    curl_multi_add_handle(m_multi, transfer->Easy());
}

void NetworkThread::RemoveTransfer(HttpTransfer* transfer) {
    if (m_transfers.erase(transfer))
        curl_multi_remove_handle(m_multi, transfer->Easy());
}

void NetworkThread::Run() {
    t_onNetworkThread = true;
    CURLM* multi = curl_multi_init();
    {
        std::lock_guard guard(m_mutex);
        m_multi = multi;
    }
    while (RunTasks()) {
        int running = 0;
        curl_multi_perform(multi, &running);
        CheckTransfers();
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    curl_multi_cleanup(multi);
}

bool NetworkThread::RunTasks() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard guard(m_mutex);
        if (m_tasks.empty() && m_sessions == 0 && m_transfers.empty()) {
            m_running = false;
            m_multi = nullptr;
            return false;
        }
        tasks.swap(m_tasks);
    }
    for (auto& task : tasks)
        task();
    return true;
}

void NetworkThread::CheckTransfers() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURLcode result = message->data.result;
        HttpTransfer* transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        if (transfer)
            transfer->OnDone(result);
    }
    std::vector<HttpTransfer*> active(m_transfers.begin(), m_transfers.end());
    auto now = std::chrono::steady_clock::now();
    for (HttpTransfer* transfer : active)
        transfer->CheckReceiveTimeout(now);
}

}  // namespace orvi::inet
