// The watch behind RegistryNotifyCallback: one value of one key path, and a
// callback told the new data when the value changes and the new value meets
// the caller's condition.
#pragma once

#include <optional>

#include "RegistryWatch.h"
#include "regapi.h"

namespace orvi::kernel {

class RegistryValueWatch : public RegistryWatch {
public:
    // The condition is copied; a string it points to is read on every
    // change and must stay valid until the notification is closed.
    RegistryValueWatch(std::shared_ptr<RegistryHive> hive, std::vector<std::u16string> path,
                       std::u16string valueName, const NOTIFICATIONCONDITION* condition,
                       REGISTRYNOTIFYCALLBACK callback, DWORD userData);

    // Set once, before the watch is shared.
    void SetHandle(HREGNOTIFY handle) { m_handle = handle; }
    void Deliver() override;

protected:
    bool Record(const RegistryKey* key, bool first) override;

private:
    struct State {
        bool exists = false;
        DWORD type = 0;
        std::vector<BYTE> data;
        bool operator==(const State&) const = default;
    };
    bool Satisfies(const State& state) const;

    const std::u16string m_valueName;
    const std::optional<NOTIFICATIONCONDITION> m_condition;
    const REGISTRYNOTIFYCALLBACK m_callback;
    const DWORD m_userData;
    HREGNOTIFY m_handle = nullptr;
    State m_last;
};

}  // namespace orvi::kernel
