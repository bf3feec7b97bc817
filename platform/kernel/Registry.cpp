// Registry API entry points: argument and handle checks, then one locked
// read or read-modify-write of the hive per call.
#include <algorithm>
#include <cstring>
#include <functional>

#include "RegistryHandles.h"
#include "regapi.h"

namespace orvi::kernel {
namespace {

LONG Resolve(HKEY hKey, RegistryKeyRef* ref) {
    return RegistryHandles::Resolve(hKey, ref) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::u16string_view ValueName(LPCWSTR name) { return name ? std::u16string_view(name) : std::u16string_view(); }

// Copies a name and its terminator into a buffer of *cch characters; on
// success *cch is the name's length.
LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD cch) {
    if (*cch <= name.size())
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Fills the caller's data buffer as RegQueryValueExW does: NULL buffer asks
// the size, a short buffer gets ERROR_MORE_DATA and stays untouched.
LONG CopyData(const std::vector<BYTE>& data, LPBYTE buffer, LPDWORD cb) {
    if (!cb)
        return ERROR_SUCCESS;
    auto size = static_cast<DWORD>(data.size());
    LONG rc = ERROR_SUCCESS;
    if (buffer && *cb < size)
        rc = ERROR_MORE_DATA;
    else if (buffer && size > 0)
        std::memcpy(buffer, data.data(), size);
    *cb = size;
    return rc;
}

void ClearClass(LPWSTR lpClass, LPDWORD lpcchClass) {
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = 0;
    if (lpcchClass)
        *lpcchClass = 0;
}

void StoreFileTime(uint64_t time, LPFILETIME out) {
    if (!out)
        return;
    out->dwLowDateTime = static_cast<DWORD>(time);
    out->dwHighDateTime = static_cast<DWORD>(time >> 32);
}

LONG OpenKey(const RegistryKeyRef& parent, const std::vector<std::u16string>& names, RegistryKeyRef* result) {
    *result = parent;
    return parent.hive->Read([&](const RegistryKey& root) -> LONG {
        const RegistryKey* key = LocateKey(root, parent);
        if (!key)
            return ERROR_KEY_DELETED;
        for (const auto& name : names) {
            key = key->FindSubkey(name);
            if (!key)
                return ERROR_FILE_NOT_FOUND;
            result->path.push_back(key->Name());
        }
        result->keyId = key->Id();
        return ERROR_SUCCESS;
    });
}

LONG CreateKey(const RegistryKeyRef& parent, const std::vector<std::u16string>& names, RegistryKeyRef* result,
               DWORD* disposition) {
    if (parent.path.size() + names.size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    *result = parent;
    *disposition = REG_OPENED_EXISTING_KEY;
    return parent.hive->Write([&](RegistryKey& root, RegistryHive::Edit& edit) -> LONG {
        RegistryKey* key = LocateKey(root, parent);
        if (!key)
            return ERROR_KEY_DELETED;
        for (const auto& name : names) {
            RegistryKey* subkey = key->FindSubkey(name);
            if (!subkey) {
                uint64_t now = RegistryNow();
                subkey = &key->AddSubkey(std::make_unique<RegistryKey>(edit.NewKeyId(), name));
                subkey->SetLastWrite(now);
                key->SetLastWrite(now);
                *disposition = REG_CREATED_NEW_KEY;
                edit.Changed();
            }
            result->path.push_back(subkey->Name());
            key = subkey;
        }
        result->keyId = key->Id();
        return ERROR_SUCCESS;
    });
}

// Deletes the key `names` below the parent, or the parent itself when names
// is empty. A hive's root cannot be deleted.
LONG DeleteKey(const RegistryKeyRef& parent, const std::vector<std::u16string>& names) {
    return parent.hive->Write([&](RegistryKey& root, RegistryHive::Edit& edit) -> LONG {
        RegistryKey* key = LocateKey(root, parent);
        if (!key)
            return ERROR_KEY_DELETED;
        std::vector<std::u16string> path = parent.path;
        path.insert(path.end(), names.begin(), names.end());
        if (path.empty())
            return ERROR_ACCESS_DENIED;
        std::u16string name = path.back();
        path.pop_back();
        RegistryKey* owner = FindKeyPath(root, path);
        if (!owner || !owner->RemoveSubkey(name))
            return ERROR_FILE_NOT_FOUND;
        owner->SetLastWrite(RegistryNow());
        edit.Changed();
        return ERROR_SUCCESS;
    });
}

LONG SetValue(const RegistryKeyRef& ref, std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    return ref.hive->Write([&](RegistryKey& root, RegistryHive::Edit& edit) -> LONG {
        RegistryKey* key = LocateKey(root, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        // Setting what is already there writes nothing and notifies no one.
        const RegistryValue* old = key->FindValue(name);
        if (old && old->type == type && old->data == data)
            return ERROR_SUCCESS;
        key->SetValue(name, type, std::move(data));
        key->SetLastWrite(RegistryNow());
        edit.Changed();
        return ERROR_SUCCESS;
    });
}

LONG DeleteValue(const RegistryKeyRef& ref, std::u16string_view name) {
    return ref.hive->Write([&](RegistryKey& root, RegistryHive::Edit& edit) -> LONG {
        RegistryKey* key = LocateKey(root, ref);
        if (!key)
            return ERROR_KEY_DELETED;
        if (!key->DeleteValue(name))
            return ERROR_FILE_NOT_FOUND;
        key->SetLastWrite(RegistryNow());
        edit.Changed();
        return ERROR_SUCCESS;
    });
}

// Runs fn on the handle's key under the hive's lock.
LONG ReadKey(HKEY hKey, const std::function<LONG(const RegistryKey&)>& fn) {
    RegistryKeyRef ref;
    if (LONG rc = Resolve(hKey, &ref); rc != ERROR_SUCCESS)
        return rc;
    return ref.hive->Read([&](const RegistryKey& root) -> LONG {
        const RegistryKey* key = LocateKey(root, ref);
        return key ? fn(*key) : ERROR_KEY_DELETED;
    });
}

void MaxLengths(const RegistryKey& key, LPDWORD maxSubKey, LPDWORD maxValueName, LPDWORD maxValue) {
    DWORD subKey = 0, valueName = 0, value = 0;
    for (size_t i = 0; i < key.SubkeyCount(); ++i)
        subKey = std::max(subKey, static_cast<DWORD>(key.SubkeyAt(i).Name().size()));
    for (const auto& v : key.Values()) {
        valueName = std::max(valueName, static_cast<DWORD>(v.name.size()));
        value = std::max(value, static_cast<DWORD>(v.data.size()));
    }
    if (maxSubKey)
        *maxSubKey = subKey;
    if (maxValueName)
        *maxValueName = valueName;
    if (maxValue)
        *maxValue = value;
}

}  // namespace
}  // namespace orvi::kernel

using namespace orvi::kernel;

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    RegistryKeyRef parent, result;
    std::vector<std::u16string> names;
    LONG rc = Resolve(hKey, &parent);
    if (rc == ERROR_SUCCESS)
        rc = SplitKeyPath(lpSubKey, &names);
    if (rc == ERROR_SUCCESS)
        rc = OpenKey(parent, names, &result);
    if (rc == ERROR_SUCCESS)
        *phkResult = RegistryHandles::Insert(std::move(result));
    return rc;
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    RegistryKeyRef parent, result;
    std::vector<std::u16string> names;
    DWORD disposition = 0;
    LONG rc = Resolve(hKey, &parent);
    if (rc == ERROR_SUCCESS)
        rc = SplitKeyPath(lpSubKey, &names);
    if (rc == ERROR_SUCCESS)
        rc = CreateKey(parent, names, &result, &disposition);
    if (rc != ERROR_SUCCESS)
        return rc;
    *phkResult = RegistryHandles::Insert(std::move(result));
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (RegistryHandles::IsPredefined(hKey))
        return ERROR_SUCCESS;
    return RegistryHandles::Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY hKey) {
    RegistryKeyRef ref;
    return Resolve(hKey, &ref);
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    RegistryKeyRef parent;
    std::vector<std::u16string> names;
    LONG rc = Resolve(hKey, &parent);
    if (rc == ERROR_SUCCESS)
        rc = SplitKeyPath(lpSubKey, &names);
    return rc == ERROR_SUCCESS ? DeleteKey(parent, names) : rc;
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    RegistryKeyRef ref;
    LONG rc = Resolve(hKey, &ref);
    return rc == ERROR_SUCCESS ? DeleteValue(ref, ValueName(lpValueName)) : rc;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    std::u16string_view name = ValueName(lpValueName);
    if ((!lpData && cbData > 0) || name.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    RegistryKeyRef ref;
    LONG rc = Resolve(hKey, &ref);
    if (rc != ERROR_SUCCESS)
        return rc;
    return SetValue(ref, name, dwType, std::vector<BYTE>(lpData, lpData + cbData));
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](const RegistryKey& key) -> LONG {
        const RegistryValue* value = key.FindValue(ValueName(lpValueName));
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (lpType)
            *lpType = value->type;
        return CopyData(value->data, lpData, lpcbData);
    });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](const RegistryKey& key) -> LONG {
        if (dwIndex >= key.Values().size())
            return ERROR_NO_MORE_ITEMS;
        const RegistryValue& value = key.Values()[dwIndex];
        if (LONG rc = CopyName(value.name, lpValueName, lpcchValueName); rc != ERROR_SUCCESS)
            return rc;
        if (lpType)
            *lpType = value.type;
        return CopyData(value.data, lpData, lpcbData);
    });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPWSTR lpClass,
                   LPDWORD lpcchClass, LPFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved)
        return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](const RegistryKey& key) -> LONG {
        if (dwIndex >= key.SubkeyCount())
            return ERROR_NO_MORE_ITEMS;
        const RegistryKey& subkey = key.SubkeyAt(dwIndex);
        if (LONG rc = CopyName(subkey.Name(), lpName, lpcchName); rc != ERROR_SUCCESS)
            return rc;
        ClearClass(lpClass, lpcchClass);
        StoreFileTime(subkey.LastWrite(), lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcchMaxSubKeyLen, LPDWORD lpcchMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcchMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      LPFILETIME lpftLastWriteTime) {
    if (lpReserved)
        return ERROR_INVALID_PARAMETER;
    return ReadKey(hKey, [&](const RegistryKey& key) -> LONG {
        ClearClass(lpClass, lpcchClass);
        if (lpcSubKeys)
            *lpcSubKeys = static_cast<DWORD>(key.SubkeyCount());
        if (lpcValues)
            *lpcValues = static_cast<DWORD>(key.Values().size());
        if (lpcchMaxClassLen)
            *lpcchMaxClassLen = 0;
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        MaxLengths(key, lpcchMaxSubKeyLen, lpcchMaxValueNameLen, lpcbMaxValueLen);
        StoreFileTime(key.LastWrite(), lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}
