// The registry's handle table.
#include "RegistryHandles.h"

#include <mutex>
#include <unordered_map>

namespace orvi::kernel {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, RegistryKeyRef> entries;
    uintptr_t next = 0x40000000;
};

HandleTable& Table() {
    static auto* table = new HandleTable;  // handles may be closed from threads that outlive main
    return *table;
}

// Predefined keys are 0x80000000 + n; callers may pass them sign-extended
// (the platform's form) or zero-extended.
bool PredefinedRoot(HKEY hKey, RegistryRoot* root) {
    auto value = reinterpret_cast<uintptr_t>(hKey);
    uintptr_t high = value >> 32;
    if (high != 0 && high != 0xFFFFFFFFu)
        return false;
    switch (static_cast<uint32_t>(value)) {
    case 0x80000000u: *root = RegistryRoot::ClassesRoot; return true;
    case 0x80000001u: *root = RegistryRoot::CurrentUser; return true;
    case 0x80000002u: *root = RegistryRoot::LocalMachine; return true;
    default: return false;
    }
}

}  // namespace

LONG SplitKeyPath(LPCWSTR subKey, std::vector<std::u16string>* names) {
    names->clear();
    std::u16string_view rest(subKey ? subKey : u"");
    while (!rest.empty()) {
        size_t end = rest.find(u'\\');
        std::u16string_view name = rest.substr(0, end);
        if (name.size() > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        if (!name.empty())
            names->emplace_back(name);
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    }
    return names->size() > kMaxKeyDepth ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

RegistryKey* FindKeyPath(const RegistryKey& root, const std::vector<std::u16string>& path) {
    auto* key = const_cast<RegistryKey*>(&root);
    for (const auto& name : path) {
        key = key->FindSubkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

RegistryKey* LocateKey(const RegistryKey& root, const RegistryKeyRef& ref) {
    RegistryKey* key = FindKeyPath(root, ref.path);
    return key && key->Id() == ref.keyId ? key : nullptr;
}

HKEY RegistryHandles::Insert(RegistryKeyRef ref) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    table.entries.emplace(value, std::move(ref));
    return reinterpret_cast<HKEY>(value);
}

bool RegistryHandles::Resolve(HKEY hKey, RegistryKeyRef* ref) {
    RegistryRoot root;
    if (PredefinedRoot(hKey, &root)) {
        *ref = RegistryKeyRef{RegistryHive::Open(root), {}, 0};
        return true;
    }
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == table.entries.end())
        return false;
    *ref = it->second;
    return true;
}

bool RegistryHandles::IsPredefined(HKEY hKey) {
    RegistryRoot root;
    return PredefinedRoot(hKey, &root);
}

bool RegistryHandles::Remove(HKEY hKey) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.entries.erase(reinterpret_cast<uintptr_t>(hKey)) == 1;
}

}  // namespace orvi::kernel
