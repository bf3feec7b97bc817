// Value watches and the comparison rules of notification conditions.
#include "RegistryValueWatch.h"

namespace orvi::kernel {
namespace {

template <class T>
bool Compare(REG_COMPARISONTYPE type, const T& value, const T& target) {
    switch (type) {
    case REG_CT_EQUAL: return value == target;
    case REG_CT_NOT_EQUAL: return value != target;
    case REG_CT_GREATER: return value > target;
    case REG_CT_GREATER_OR_EQUAL: return value >= target;
    case REG_CT_LESS: return value < target;
    case REG_CT_LESS_OR_EQUAL: return value <= target;
    default: return false;
    }
}

// The text of a string value: its UTF-16 units up to the first terminator.
std::u16string StringOf(const std::vector<BYTE>& data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

bool CompareStrings(REG_COMPARISONTYPE type, const std::u16string& value, const std::u16string& target) {
    switch (type) {
    case REG_CT_CONTAINS: return value.find(target) != std::u16string::npos;
    case REG_CT_STARTS_WITH: return value.starts_with(target);
    case REG_CT_ENDS_WITH: return value.ends_with(target);
    default: return Compare(type, value, target);
    }
}

}  // namespace

RegistryValueWatch::RegistryValueWatch(std::shared_ptr<RegistryHive> hive, std::vector<std::u16string> path,
                                       std::u16string valueName, const NOTIFICATIONCONDITION* condition,
                                       REGISTRYNOTIFYCALLBACK callback, DWORD userData)
    : RegistryWatch(std::move(hive), std::move(path)),
      m_valueName(std::move(valueName)),
      m_condition(condition ? std::optional(*condition) : std::nullopt),
      m_callback(callback),
      m_userData(userData) {}

bool RegistryValueWatch::Record(const RegistryKey* key, bool first) {
    State state;
    if (const RegistryValue* value = key ? key->FindValue(m_valueName) : nullptr)
        state = State{true, value->type, value->data};
    if (state == m_last)
        return false;
    m_last = std::move(state);
    return !first && Satisfies(m_last);
}

void RegistryValueWatch::Deliver() {
    // An existing value is never reported with a NULL pointer, even when empty.
    static BYTE s_empty = 0;
    if (!m_last.exists)
        m_callback(m_handle, m_userData, nullptr, 0);
    else
        m_callback(m_handle, m_userData, m_last.data.empty() ? &s_empty : m_last.data.data(),
                   static_cast<UINT>(m_last.data.size()));
}

bool RegistryValueWatch::Satisfies(const State& state) const {
    if (!m_condition || m_condition->ctComparisonType == REG_CT_ANYCHANGE)
        return true;
    if (!state.exists)
        return false;
    REG_COMPARISONTYPE type = m_condition->ctComparisonType;
    if (state.type == REG_DWORD && state.data.size() == 4) {
        DWORD value = static_cast<DWORD>(state.data[0] | (state.data[1] << 8) | (state.data[2] << 16) |
                                         (static_cast<DWORD>(state.data[3]) << 24));
        return Compare(type, value & m_condition->dwMask, m_condition->TargetValue.dw);
    }
    if ((state.type == REG_SZ || state.type == REG_EXPAND_SZ) && m_condition->TargetValue.psz)
        return CompareStrings(type, FoldRegistryName(StringOf(state.data)),
                              FoldRegistryName(m_condition->TargetValue.psz));
    return false;
}

}  // namespace orvi::kernel
