// Registry change notification entry points: the callback form and the
// event form. The work is done by RegistryNotifier's thread.
#include "RegistryHandles.h"
#include "RegistryKeyWatch.h"
#include "RegistryNotifier.h"
#include "RegistryValueWatch.h"
#include "regapi.h"

namespace orvi::kernel {
namespace {

// The path below the hive's root that hKey\subKey names, for a watch. The
// key of hKey must exist; the subkey need not.
LONG WatchedPath(HKEY hKey, LPCWSTR subKey, RegistryKeyRef* ref, std::vector<std::u16string>* path) {
    if (!RegistryHandles::Resolve(hKey, ref))
        return ERROR_INVALID_HANDLE;
    std::vector<std::u16string> names;
    if (LONG rc = SplitKeyPath(subKey, &names); rc != ERROR_SUCCESS)
        return rc;
    *path = ref->path;
    path->insert(path->end(), names.begin(), names.end());
    return path->size() > kMaxKeyDepth ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// The watch's first look, on the caller's thread, so that any change made
// after the call returns is reported.
LONG StartWatch(const RegistryKeyRef& ref, RegistryWatch& watch) {
    uint64_t version = 0;
    return ref.hive->Read(
        [&](const RegistryKey& root) -> LONG {
            if (!LocateKey(root, ref))
                return ERROR_KEY_DELETED;
            watch.Observe(root, version);
            return ERROR_SUCCESS;
        },
        &version);
}

bool ValidCondition(const NOTIFICATIONCONDITION* condition) {
    return !condition || (condition->ctComparisonType >= REG_CT_EQUAL &&
                          condition->ctComparisonType <= REG_CT_ANYCHANGE);
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

HRESULT RegistryNotifyCallback(HKEY hKey, LPCWSTR pszSubKey, LPCWSTR pszValueName,
                               REGISTRYNOTIFYCALLBACK pfnCallback, DWORD dwUserData,
                               NOTIFICATIONCONDITION* pCondition, HREGNOTIFY* phNotify) {
    if (!phNotify)
        return E_INVALIDARG;
    *phNotify = nullptr;
    if (!pfnCallback || !ValidCondition(pCondition))
        return E_INVALIDARG;
    std::u16string_view valueName = pszValueName ? pszValueName : u"";
    if (valueName.size() > kMaxValueNameLength)
        return E_INVALIDARG;
    RegistryKeyRef ref;
    std::vector<std::u16string> path;
    if (LONG rc = WatchedPath(hKey, pszSubKey, &ref, &path); rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    auto watch = std::make_shared<RegistryValueWatch>(ref.hive, std::move(path), std::u16string(valueName),
                                                      pCondition, pfnCallback, dwUserData);
    if (LONG rc = StartWatch(ref, *watch); rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(rc);
    auto& notifier = RegistryNotifier::Instance();
    uintptr_t id = notifier.NewId();
    auto handle = reinterpret_cast<HREGNOTIFY>(id);
    watch->SetHandle(handle);
    if (!notifier.Add(RegistryNotifier::Kind::Callback, id, std::move(watch)))
        return E_OUTOFMEMORY;
    *phNotify = handle;
    return S_OK;
}

HRESULT RegistryCloseNotification(HREGNOTIFY hNotify) {
    bool removed = RegistryNotifier::Instance().Remove(RegistryNotifier::Kind::Callback,
                                                       reinterpret_cast<uintptr_t>(hNotify));
    return removed ? S_OK : E_INVALIDARG;
}

HANDLE CeFindFirstRegChange(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter) {
    if ((dwNotifyFilter & (REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET)) == 0 ||
        (dwNotifyFilter & ~0xFu) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    RegistryKeyRef ref;
    std::vector<std::u16string> path;
    if (LONG rc = WatchedPath(hKey, nullptr, &ref, &path); rc != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(rc));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        return INVALID_HANDLE_VALUE;
    auto watch = std::make_shared<RegistryKeyWatch>(ref.hive, std::move(path), bWatchSubtree != FALSE,
                                                    dwNotifyFilter, event);
    LONG rc = StartWatch(ref, *watch);
    if (rc == ERROR_SUCCESS &&
        !RegistryNotifier::Instance().Add(RegistryNotifier::Kind::Event, reinterpret_cast<uintptr_t>(event), watch))
        rc = ERROR_NOT_ENOUGH_MEMORY;
    if (rc != ERROR_SUCCESS) {
        CloseHandle(event);
        SetLastError(static_cast<DWORD>(rc));
        return INVALID_HANDLE_VALUE;
    }
    return event;
}

BOOL CeFindNextRegChange(HANDLE hNotify) {
    auto watch = RegistryNotifier::Instance().Find(RegistryNotifier::Kind::Event, reinterpret_cast<uintptr_t>(hNotify));
    if (!watch) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<RegistryKeyWatch&>(*watch).Rearm();
    return TRUE;
}

BOOL CeFindCloseRegChange(HANDLE hNotify) {
    if (!RegistryNotifier::Instance().Remove(RegistryNotifier::Kind::Event, reinterpret_cast<uintptr_t>(hNotify))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CloseHandle(hNotify);
    return TRUE;
}
