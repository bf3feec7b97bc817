// Key handles: each open HKEY names one key of one hive by its path from the
// hive's root and by the key's id, so a handle outlives changes made by
// other processes and notices when its key was deleted (the path then leads
// nowhere, or to a newer key with another id).
//
// The table is the registry's own: HKEY values are multiples of 4 from
// 0x40000000 up, never reused within a run, and never equal to a predefined
// key (0x80000000 and up, sign-extended). Thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "RegistryHive.h"
#include "winerror.h"

namespace orvi::kernel {

struct RegistryKeyRef {
    std::shared_ptr<RegistryHive> hive;
    std::vector<std::u16string> path;  // names as stored, from the hive's root
    uint64_t keyId = 0;                // the root's id is 0
};

// Splits a subkey path at its backslashes into key names; empty names (a
// leading, trailing or doubled backslash) are skipped. NULL is the empty
// path. ERROR_INVALID_PARAMETER for a name longer than the registry allows
// or a path deeper than it allows.
LONG SplitKeyPath(LPCWSTR subKey, std::vector<std::u16string>* names);
// The key a reference names in the tree, or nullptr when it was deleted.
RegistryKey* LocateKey(const RegistryKey& root, const RegistryKeyRef& ref);
// Follows names case-insensitively; nullptr when a key along the path is missing.
RegistryKey* FindKeyPath(const RegistryKey& root, const std::vector<std::u16string>& path);

class RegistryHandles {
public:
    static HKEY Insert(RegistryKeyRef ref);
    // Predefined keys resolve to the root of the current device root's hive.
    // False for anything else that is not an open handle.
    static bool Resolve(HKEY hKey, RegistryKeyRef* ref);
    static bool IsPredefined(HKEY hKey);
    // False when hKey is not an open handle.
    static bool Remove(HKEY hKey);
};

}  // namespace orvi::kernel
