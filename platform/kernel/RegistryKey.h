// One key of a registry hive in memory: its values in the order they were
// first set and its subkeys in the order they were created. Names compare
// without regard to case and keep the case they were created with.
//
// A RegistryKey belongs to its parent (the root to its RegistryHive) and is
// guarded by the hive's lock; nothing here locks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wintypes.h"

namespace orvi::kernel {

// Longest key name and value name the registry accepts, in characters.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// Deepest path below a hive's root.
constexpr size_t kMaxKeyDepth = 512;

// The folded form of a name: registry names follow the device file system's
// case rule (FoldCase).
std::u16string FoldRegistryName(std::u16string_view name);

struct RegistryValue {
    std::u16string name;
    DWORD type = 0;
    std::vector<BYTE> data;
};

class RegistryKey {
public:
    RegistryKey(uint64_t id, std::u16string name) : m_id(id), m_name(std::move(name)) {}

    // Unique within the hive and never reused, so a handle can tell its key
    // from a key created later under the same path.
    uint64_t Id() const { return m_id; }
    const std::u16string& Name() const { return m_name; }
    // FILETIME units (100 ns since 1601) of the last change to the key's
    // values or subkeys.
    uint64_t LastWrite() const { return m_lastWrite; }
    void SetLastWrite(uint64_t time) { m_lastWrite = time; }

    const std::vector<RegistryValue>& Values() const { return m_values; }
    const RegistryValue* FindValue(std::u16string_view name) const;
    // Replaces the data of an existing value (keeping its name's case and its
    // place) or appends a new value.
    void SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
    bool DeleteValue(std::u16string_view name);

    size_t SubkeyCount() const { return m_subkeys.size(); }
    RegistryKey& SubkeyAt(size_t index) const { return *m_subkeys[index]; }
    RegistryKey* FindSubkey(std::u16string_view name) const;
    RegistryKey& AddSubkey(std::unique_ptr<RegistryKey> key);
    bool RemoveSubkey(std::u16string_view name);

private:
    uint64_t m_id;
    std::u16string m_name;
    uint64_t m_lastWrite = 0;
    std::vector<RegistryValue> m_values;
    std::vector<std::unique_ptr<RegistryKey>> m_subkeys;
};

// The current time in FILETIME units.
uint64_t RegistryNow();

}  // namespace orvi::kernel
