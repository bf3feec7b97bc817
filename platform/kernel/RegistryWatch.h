// Something the notification thread watches in a hive: a value (the
// callback form) or a key (the event form). A watch keeps the state it saw
// last and reports when the hive's current state differs from it.
//
// Threading: Observe runs under the hive's lock, first on the registering
// thread (before the watch is shared) and then only on the notification
// thread, which also calls Deliver, outside every registry lock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RegistryHive.h"

namespace orvi::kernel {

class RegistryWatch {
public:
    virtual ~RegistryWatch() = default;
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    const std::shared_ptr<RegistryHive>& Hive() const { return m_hive; }

    // Looks at the hive as of contents version `version`. The first look
    // records the state; later ones return true when the state changed in a
    // way Deliver must report. A version already looked at is skipped.
    bool Observe(const RegistryKey& root, uint64_t version);
    virtual void Deliver() = 0;

protected:
    RegistryWatch(std::shared_ptr<RegistryHive> hive, std::vector<std::u16string> path)
        : m_hive(std::move(hive)), m_path(std::move(path)) {}
    // The watched key, or nullptr while it does not exist.
    const RegistryKey* WatchedKey(const RegistryKey& root) const;
    // Records the current state; returns true when a change from the state
    // recorded before must be delivered. `first` is set on the first look,
    // which never delivers.
    virtual bool Record(const RegistryKey* key, bool first) = 0;

private:
    const std::shared_ptr<RegistryHive> m_hive;
    const std::vector<std::u16string> m_path;
    uint64_t m_version = 0;
    bool m_started = false;
};

}  // namespace orvi::kernel
