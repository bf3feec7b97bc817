// The process-wide table of built-in classes and the look-up of plug-in
// classes in the registry.
#include <mutex>
#include <vector>

#include "com/internal.h"
#include "moduleapi.h"
#include "regapi.h"
#include "xml/DomFactory.h"

namespace orvi::com {
namespace {

struct ClassEntry {
    CLSID clsid;
    ORVI_CLASS_CREATOR create;
};

struct ClassTable {
    std::mutex lock;
    std::vector<ClassEntry> entries;

    ClassTable() {
        // The platform's own classes. They are listed here rather than
        // registered by their own files because a static library drops
        // object files that nothing references.
        entries.push_back({CLSID_DOMDocument, orvi::xml::CreateDomDocument});
    }

    ClassEntry* Find(REFCLSID rclsid) {
        for (auto& entry : entries) {
            if (entry.clsid == rclsid)
                return &entry;
        }
        return nullptr;
    }
};

ClassTable& Table() {
    static ClassTable* s_table = new ClassTable;  // lives until the process ends
    return *s_table;
}

typedef HRESULT (*DLLGETCLASSOBJECT)(REFCLSID, REFIID, void**);

// The registered library of a plug-in class, or an empty path.
bool RegisteredServer(REFCLSID rclsid, WCHAR* path, DWORD cchPath) {
    WCHAR key[64] = u"CLSID\\";
    StringFromGUID2(rclsid, key + 6, 40);
    const WCHAR kInproc[] = u"\\InprocServer32";
    size_t len = 6 + 38;
    for (size_t i = 0; i < sizeof(kInproc) / sizeof(WCHAR); ++i)
        key[len + i] = kInproc[i];
    HKEY hKey;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, 0, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD cb = cchPath * sizeof(WCHAR);
    LONG rc = RegQueryValueExW(hKey, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path), &cb);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS || type != REG_SZ || cb < sizeof(WCHAR))
        return false;
    path[cchPath - 1] = 0;
    return path[0] != 0;
}

}  // namespace

ORVI_CLASS_CREATOR FindBuiltinClass(REFCLSID rclsid) {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    ClassEntry* entry = table.Find(rclsid);
    return entry ? entry->create : nullptr;
}

void RegisterBuiltinClass(REFCLSID rclsid, ORVI_CLASS_CREATOR create) {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (ClassEntry* entry = table.Find(rclsid))
        entry->create = create;
    else
        table.entries.push_back({rclsid, create});
}

bool UnregisterBuiltinClass(REFCLSID rclsid) {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
        if (it->clsid == rclsid) {
            table.entries.erase(it);
            return true;
        }
    }
    return false;
}

// The library stays loaded for the life of the process: objects of it may
// be alive anywhere, and nothing tells when the last one is gone.
HRESULT GetPluginClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    WCHAR path[MAX_PATH];
    if (!RegisteredServer(rclsid, path, MAX_PATH))
        return REGDB_E_CLASSNOTREG;
    HMODULE module = LoadLibraryW(path);
    if (!module)
        return CO_E_DLLNOTFOUND;
    auto getClassObject =
        reinterpret_cast<DLLGETCLASSOBJECT>(GetProcAddress(module, u"DllGetClassObject"));
    if (!getClassObject) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    return getClassObject(rclsid, riid, ppv);
}

}  // namespace orvi::com
