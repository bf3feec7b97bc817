// Key watches: a fingerprint of what the filter covers, and the event.
#include "RegistryKeyWatch.h"

#include "regapi.h"

namespace orvi::kernel {
namespace {

// FNV-1a, 64 bits: a change that leaves the fingerprint equal has odds of
// about 2^-64.
class Hasher {
public:
    void Bytes(const void* data, size_t size) {
        auto* p = static_cast<const BYTE*>(data);
        for (size_t i = 0; i < size; ++i) {
            m_hash ^= p[i];
            m_hash *= 0x100000001B3ull;
        }
    }
    void Text(const std::u16string& text) {
        uint64_t length = text.size();
        Bytes(&length, sizeof length);
        Bytes(text.data(), text.size() * sizeof(char16_t));
    }
    uint64_t Value() const { return m_hash; }

private:
    uint64_t m_hash = 0xCBF29CE484222325ull;
};

// Each value and each key is hashed with its path below the watched key, so
// an empty subkey adds nothing unless names are watched.
void HashKey(Hasher& hasher, const RegistryKey& key, const std::u16string& path, DWORD filter, bool subtree) {
    if (filter & REG_NOTIFY_CHANGE_LAST_SET) {
        for (const auto& value : key.Values()) {
            hasher.Text(path);
            hasher.Text(value.name);
            uint64_t header[2] = {value.type, value.data.size()};
            hasher.Bytes(header, sizeof header);
            hasher.Bytes(value.data.data(), value.data.size());
        }
    }
    for (size_t i = 0; i < key.SubkeyCount(); ++i) {
        const RegistryKey& subkey = key.SubkeyAt(i);
        std::u16string subPath = path + u'\\' + subkey.Name();
        if (filter & REG_NOTIFY_CHANGE_NAME)
            hasher.Text(subPath);
        if (subtree)
            HashKey(hasher, subkey, subPath, filter, subtree);
    }
}

}  // namespace

bool RegistryKeyWatch::Record(const RegistryKey* key, bool first) {
    bool exists = key != nullptr;
    uint64_t fingerprint = key ? Fingerprint(*key) : 0;
    if (!first && exists == m_existed && fingerprint == m_fingerprint)
        return false;
    m_existed = exists;
    m_fingerprint = fingerprint;
    return !first;
}

uint64_t RegistryKeyWatch::Fingerprint(const RegistryKey& key) const {
    Hasher hasher;
    HashKey(hasher, key, std::u16string(), m_filter, m_subtree);
    return hasher.Value();
}

void RegistryKeyWatch::Deliver() {
    std::lock_guard guard(m_lock);
    if (!m_armed) {
        m_pending = true;
        return;
    }
    m_armed = false;
    SetEvent(m_event);
}

void RegistryKeyWatch::Rearm() {
    std::lock_guard guard(m_lock);
    ResetEvent(m_event);
    if (m_pending) {
        m_pending = false;
        SetEvent(m_event);
    } else {
        m_armed = true;
    }
}

}  // namespace orvi::kernel
