// The watch behind CeFindFirstRegChange: a key (and, on request, its
// subtree), and a manual-reset event set when its values or subkeys change.
#pragma once

#include <mutex>

#include "RegistryWatch.h"

namespace orvi::kernel {

class RegistryKeyWatch : public RegistryWatch {
public:
    RegistryKeyWatch(std::shared_ptr<RegistryHive> hive, std::vector<std::u16string> path, bool subtree,
                     DWORD filter, HANDLE event)
        : RegistryWatch(std::move(hive), std::move(path)), m_subtree(subtree), m_filter(filter), m_event(event) {}

    void Deliver() override;
    // Resets the event for the next change; a change that arrived since the
    // event was set sets it again at once. Any thread.
    void Rearm();

protected:
    bool Record(const RegistryKey* key, bool first) override;

private:
    uint64_t Fingerprint(const RegistryKey& key) const;

    const bool m_subtree;
    const DWORD m_filter;
    const HANDLE m_event;
    bool m_existed = false;
    uint64_t m_fingerprint = 0;

    std::mutex m_lock;     // guards the two flags below against Rearm
    bool m_armed = true;   // the next change sets the event
    bool m_pending = false;  // a change arrived while disarmed
};

}  // namespace orvi::kernel
