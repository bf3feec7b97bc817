// The notification thread.
#include "RegistryNotifier.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "internal.h"

namespace orvi::kernel {

// One run of the thread: its own wake-up descriptor, so that stopping one
// run can never be swallowed by the next.
struct RegistryNotifier::Run {
    Run() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Run() {
        if (wakeFd >= 0)
            close(wakeFd);
    }
    void Signal() const {
        uint64_t one = 1;
        if (wakeFd >= 0 && write(wakeFd, &one, sizeof one) < 0 && errno != EAGAIN)
            Trace("registry: cannot wake the notification thread (errno %d)", errno);
    }
    const int wakeFd;
};

namespace {

constexpr int kInotifySafetyMs = 1000;  // a look now and then even when inotify is quiet
constexpr int kPollMs = 100;            // where a hive folder cannot be watched
// Shown by the host's tools, and how the tests find the thread.
constexpr char kThreadName[] = "orvi-regnotify";

// inotify descriptor and watched folders of one run of the thread.
class FolderWatcher {
public:
    FolderWatcher() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~FolderWatcher() {
        if (m_fd >= 0)
            close(m_fd);
    }
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    int Fd() const { return m_fd; }

    // Watches exactly these folders; false when one of them cannot be.
    bool Sync(const std::set<std::string>& folders) {
        for (auto it = m_folders.begin(); it != m_folders.end();) {
            if (folders.count(it->first) == 0) {
                inotify_rm_watch(m_fd, it->second);
                it = m_folders.erase(it);
            } else {
                ++it;
            }
        }
        bool all = m_fd >= 0;
        for (const auto& folder : folders) {
            if (m_fd < 0 || m_folders.count(folder))
                continue;
            int wd = inotify_add_watch(m_fd, folder.c_str(),
                                       IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE);
            if (wd >= 0)
                m_folders[folder] = wd;
            else
                all = false;
        }
        return all;
    }

    // Reads the pending events; a folder whose watch went away (the folder
    // was removed) is forgotten so the next Sync tries it again.
    void Drain() {
        alignas(inotify_event) char buffer[8192];
        ssize_t n;
        while (m_fd >= 0 && (n = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t pos = 0; pos < n;) {
                auto* event = reinterpret_cast<const inotify_event*>(buffer + pos);
                if (event->mask & IN_IGNORED)
                    std::erase_if(m_folders, [&](const auto& entry) { return entry.second == event->wd; });
                pos += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int m_fd;
    std::map<std::string, int> m_folders;
};

void WaitForChange(int wakeFd, FolderWatcher& folders, int timeoutMs) {
    pollfd fds[2];
    nfds_t count = 0;
    if (wakeFd >= 0)
        fds[count++] = pollfd{wakeFd, POLLIN, 0};
    if (folders.Fd() >= 0)
        fds[count++] = pollfd{folders.Fd(), POLLIN, 0};
    if (poll(fds, count, timeoutMs) <= 0)
        return;
    uint64_t counter;
    if (wakeFd >= 0 && read(wakeFd, &counter, sizeof counter) < 0 && errno != EAGAIN)
        Trace("registry: wake-up read failed (errno %d)", errno);
    folders.Drain();
}

}  // namespace

RegistryNotifier& RegistryNotifier::Instance() {
    static auto* notifier = new RegistryNotifier;  // the thread may run until exit
    return *notifier;
}

uintptr_t RegistryNotifier::NewId() {
    std::lock_guard guard(m_mutex);
    m_nextId += 4;
    return m_nextId;
}

bool RegistryNotifier::Add(Kind kind, uintptr_t id, std::shared_ptr<RegistryWatch> watch) {
    std::lock_guard guard(m_mutex);
    if (!m_run) {
        auto run = std::make_shared<Run>();
        try {
            m_thread = std::thread([this, run] { ThreadMain(run); });
            pthread_setname_np(m_thread.native_handle(), kThreadName);
        } catch (const std::system_error&) {
            return false;
        }
        m_run = std::move(run);
    }
    m_open.insert(watch.get());
    m_watches[{kind, id}] = std::move(watch);
    return true;
}

std::shared_ptr<RegistryWatch> RegistryNotifier::Find(Kind kind, uintptr_t id) {
    std::lock_guard guard(m_mutex);
    auto it = m_watches.find({kind, id});
    return it == m_watches.end() ? nullptr : it->second;
}

bool RegistryNotifier::Remove(Kind kind, uintptr_t id) {
    std::shared_ptr<Run> stoppedRun;
    std::thread stoppedThread;
    {
        std::unique_lock lock(m_mutex);
        auto it = m_watches.find({kind, id});
        if (it == m_watches.end())
            return false;
        const RegistryWatch* watch = it->second.get();
        m_open.erase(watch);
        m_watches.erase(it);
        m_dispatchDone.wait(lock, [&] {
            return m_dispatching != watch || m_dispatchThread == std::this_thread::get_id();
        });
        if (m_watches.empty() && m_run) {
            stoppedRun = std::move(m_run);
            stoppedThread = std::move(m_thread);
        }
    }
    if (stoppedRun) {
        stoppedRun->Signal();
        // The last watch may be closed from its own callback, on the thread
        // itself, which then ends on its own after the callback returns.
        if (stoppedThread.get_id() == std::this_thread::get_id())
            stoppedThread.detach();
        else
            stoppedThread.join();
    }
    return true;
}

void RegistryNotifier::Wake() {
    std::shared_ptr<Run> run;
    {
        std::lock_guard guard(m_mutex);
        run = m_run;
    }
    if (run)
        run->Signal();
}

void RegistryNotifier::ThreadMain(std::shared_ptr<Run> run) {
    FolderWatcher folders;
    for (;;) {
        Watches watches;
        {
            std::lock_guard guard(m_mutex);
            if (m_run != run)
                break;
            for (const auto& entry : m_watches)
                watches.push_back(entry.second);
        }
        std::set<std::string> wanted;
        for (const auto& watch : watches)
            wanted.insert(watch->Hive()->Folder());
        bool watched = folders.Sync(wanted);
        LookAndDeliver(watches);
        WaitForChange(run->wakeFd, folders, watched ? kInotifySafetyMs : kPollMs);
    }
}

void RegistryNotifier::LookAndDeliver(const Watches& watches) {
    std::map<RegistryHive*, std::vector<RegistryWatch*>> byHive;
    for (const auto& watch : watches)
        byHive[watch->Hive().get()].push_back(watch.get());
    std::vector<RegistryWatch*> due;
    for (auto& entry : byHive) {
        const std::vector<RegistryWatch*>& hiveWatches = entry.second;
        uint64_t version = 0;
        entry.first->Read(
            [&](const RegistryKey& root) {
                for (RegistryWatch* watch : hiveWatches) {
                    if (watch->Observe(root, version))
                        due.push_back(watch);
                }
                return ERROR_SUCCESS;
            },
            &version);
    }
    for (RegistryWatch* watch : due)
        Dispatch(watch);
}

void RegistryNotifier::Dispatch(RegistryWatch* watch) {
    {
        std::lock_guard guard(m_mutex);
        if (m_open.count(watch) == 0)
            return;
        m_dispatching = watch;
        m_dispatchThread = std::this_thread::get_id();
    }
    watch->Deliver();
    {
        std::lock_guard guard(m_mutex);
        m_dispatching = nullptr;
        m_dispatchThread = std::thread::id();
    }
    m_dispatchDone.notify_all();
}

}  // namespace orvi::kernel
