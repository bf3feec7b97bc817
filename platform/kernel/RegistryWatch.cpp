// The common part of registry watches.
#include "RegistryWatch.h"

#include "RegistryHandles.h"

namespace orvi::kernel {

bool RegistryWatch::Observe(const RegistryKey& root, uint64_t version) {
    if (m_started && version == m_version)
        return false;
    bool first = !m_started;
    m_started = true;
    m_version = version;
    return Record(WatchedKey(root), first);
}

const RegistryKey* RegistryWatch::WatchedKey(const RegistryKey& root) const { return FindKeyPath(root, m_path); }

}  // namespace orvi::kernel
