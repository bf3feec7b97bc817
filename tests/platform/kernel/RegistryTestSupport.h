// Helpers of the registry suites: typed value access through the public API
// and a key handle closed at the end of its scope.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "platform.h"

namespace orvi::test::registry {

constexpr const char16_t* kCalvaroKey = u"\\SOFTWARE\\Orvi\\Calvaro";

// An open key; closed when the object goes.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* Out() { return &m_key; }
    operator HKEY() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

inline LONG CreateKey(HKEY parent, const char16_t* path, ScopedKey* key, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key->Out(), disposition);
}

inline LONG OpenKey(HKEY parent, const char16_t* path, ScopedKey* key) {
    return RegOpenKeyExW(parent, path, 0, KEY_READ, key->Out());
}

// Sets a REG_SZ with its terminator, as the system's code does.
inline LONG SetString(HKEY key, const char16_t* name, std::u16string_view text, DWORD type = REG_SZ) {
    std::u16string stored(text);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(stored.c_str()),
                          static_cast<DWORD>((stored.size() + 1) * sizeof(char16_t)));
}

inline LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// The raw bytes and type of a value; the error code when it cannot be read.
inline LONG QueryBytes(HKEY key, const char16_t* name, std::vector<BYTE>* data, DWORD* type = nullptr) {
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    data->assign(size, 0);
    return RegQueryValueExW(key, name, nullptr, type, data->data(), &size);
}

// A string value's text without its terminator.
inline LONG QueryString(HKEY key, const char16_t* name, std::u16string* text) {
    std::vector<BYTE> data;
    LONG rc = QueryBytes(key, name, &data);
    if (rc != ERROR_SUCCESS)
        return rc;
    text->assign(data.size() / 2, u'\0');
    std::memcpy(text->data(), data.data(), text->size() * 2);
    while (!text->empty() && text->back() == u'\0')
        text->pop_back();
    return ERROR_SUCCESS;
}

inline LONG QueryDword(HKEY key, const char16_t* name, DWORD* value) {
    std::vector<BYTE> data;
    DWORD type = 0;
    LONG rc = QueryBytes(key, name, &data, &type);
    if (rc == ERROR_SUCCESS && (type != REG_DWORD || data.size() != 4))
        return ERROR_INVALID_DATA;
    if (rc == ERROR_SUCCESS)
        std::memcpy(value, data.data(), 4);
    return rc;
}

}  // namespace orvi::test::registry
