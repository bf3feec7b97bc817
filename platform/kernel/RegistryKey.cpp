// Registry keys in memory.
#include "RegistryKey.h"

#include <time.h>

#include "DevicePath.h"

namespace orvi::kernel {
namespace {

template <class T, class GetName>
size_t IndexOfName(const std::vector<T>& items, std::u16string_view name, GetName getName) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (EqualNoCase(getName(items[i]), name))
            return i;
    }
    return items.size();
}

size_t IndexOfValue(const std::vector<RegistryValue>& values, std::u16string_view name) {
    return IndexOfName(values, name, [](const RegistryValue& v) -> const std::u16string& { return v.name; });
}

size_t IndexOfKey(const std::vector<std::unique_ptr<RegistryKey>>& keys, std::u16string_view name) {
    return IndexOfName(keys, name,
                       [](const std::unique_ptr<RegistryKey>& k) -> const std::u16string& { return k->Name(); });
}

}  // namespace

std::u16string FoldRegistryName(std::u16string_view name) {
    std::u16string folded(name);
    for (auto& c : folded)
        c = FoldCase(c);
    return folded;
}

const RegistryValue* RegistryKey::FindValue(std::u16string_view name) const {
    size_t index = IndexOfValue(m_values, name);
    return index == m_values.size() ? nullptr : &m_values[index];
}

void RegistryKey::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    size_t index = IndexOfValue(m_values, name);
    if (index == m_values.size()) {
        m_values.push_back(RegistryValue{std::u16string(name), type, std::move(data)});
        return;
    }
    m_values[index].type = type;
    m_values[index].data = std::move(data);
}

bool RegistryKey::DeleteValue(std::u16string_view name) {
    size_t index = IndexOfValue(m_values, name);
    if (index == m_values.size())
        return false;
    m_values.erase(m_values.begin() + static_cast<ptrdiff_t>(index));
    return true;
}

RegistryKey* RegistryKey::FindSubkey(std::u16string_view name) const {
    size_t index = IndexOfKey(m_subkeys, name);
    return index == m_subkeys.size() ? nullptr : m_subkeys[index].get();
}

RegistryKey& RegistryKey::AddSubkey(std::unique_ptr<RegistryKey> key) {
    m_subkeys.push_back(std::move(key));
    return *m_subkeys.back();
}

bool RegistryKey::RemoveSubkey(std::u16string_view name) {
    size_t index = IndexOfKey(m_subkeys, name);
    if (index == m_subkeys.size())
        return false;
    m_subkeys.erase(m_subkeys.begin() + static_cast<ptrdiff_t>(index));
    return true;
}

uint64_t RegistryNow() {
    // FILETIME counts 100 ns intervals from 1601-01-01; the Unix epoch is
    // 11644473600 seconds later.
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

}  // namespace orvi::kernel
