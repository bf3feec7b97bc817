// The registry's notification thread and the open watches it serves.
//
// One thread per process ("orvi-regnotify"), started with the first watch
// and stopped (and joined) when the last one is removed. It sleeps on inotify
// events of the hive folders and on a wake-up from this process's own
// writes; where a folder cannot be watched it looks every 100 ms instead. On
// each wake it reads every watched hive (which reloads a file changed by any
// process) and lets each watch compare with what it saw last, then delivers
// the changes one after another.
//
// Everything here is thread-safe. The notifier is never destroyed and the
// watches hold their hives, so a notification still open at exit leaves a
// thread that can run on safely while the process ends.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "RegistryWatch.h"

namespace orvi::kernel {

class RegistryNotifier {
public:
    enum class Kind { Callback, Event };

    static RegistryNotifier& Instance();

    // A number for a new HREGNOTIFY; never 0 and never reused.
    uintptr_t NewId();
    // Adds a watch that has taken its first look. False when the thread
    // cannot be started.
    bool Add(Kind kind, uintptr_t id, std::shared_ptr<RegistryWatch> watch);
    std::shared_ptr<RegistryWatch> Find(Kind kind, uintptr_t id);
    // Removes a watch; false when unknown. When it returns, the watch's
    // Deliver is neither running nor going to run, unless Remove was called
    // from that Deliver.
    bool Remove(Kind kind, uintptr_t id);
    // A hive changed in this process: look now rather than at the next
    // inotify event.
    void Wake();

private:
    struct Run;
    using Watches = std::vector<std::shared_ptr<RegistryWatch>>;

    RegistryNotifier() = default;
    void ThreadMain(std::shared_ptr<Run> run);
    void LookAndDeliver(const Watches& watches);
    void Dispatch(RegistryWatch* watch);

    std::mutex m_mutex;
    std::condition_variable m_dispatchDone;
    std::map<std::pair<Kind, uintptr_t>, std::shared_ptr<RegistryWatch>> m_watches;
    std::set<const RegistryWatch*> m_open;  // the watches of m_watches
    std::shared_ptr<Run> m_run;  // the running thread's wake-up, null when stopped
    std::thread m_thread;
    const RegistryWatch* m_dispatching = nullptr;
    std::thread::id m_dispatchThread;
    uintptr_t m_nextId = 0x60000000;
};

}  // namespace orvi::kernel
