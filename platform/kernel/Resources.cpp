// String tables and version numbers of modules: LoadStringW and
// OrviGetModuleVersion over each module's "OrviResources" record.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "Modules.h"

// The program's own record, resolved when the program is linked. Weak, so a
// program without resources links too; this way the program's table is found
// even when the program does not export its symbols.
extern "C" __attribute__((weak)) const ORVI_RESOURCES OrviResources;

namespace orvi::kernel {
namespace {

constexpr size_t kStringsEnd = offsetof(ORVI_RESOURCES, stringCount) + sizeof(DWORD);

// The module's own record; a library never answers with the host's or with
// one of a library it depends on. Null (with ERROR_RESOURCE_DATA_NOT_FOUND)
// when the module has none or the record predates the string table.
const ORVI_RESOURCES* ResourcesOf(const Module& module) {
    const ORVI_RESOURCES* resources = nullptr;
    if (module.ModuleKind() != Module::Kind::Platform)
        resources = static_cast<const ORVI_RESOURCES*>(module.FindOwnSymbol("OrviResources"));
    if (!resources && module.ModuleKind() == Module::Kind::Program)
        resources = &OrviResources;
    if (!resources || resources->cbSize < kStringsEnd) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return resources;
}

const ORVI_STRING_ENTRY* FindString(const ORVI_RESOURCES& resources, UINT id) {
    for (DWORD i = 0; i < resources.stringCount; ++i) {
        if (resources.strings[i].id == id && resources.strings[i].text)
            return &resources.strings[i];
    }
    return nullptr;
}

}  // namespace
}  // namespace orvi::kernel

int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    using namespace orvi::kernel;
    if (!lpBuffer || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto module = ReferenceModule(hInstance);
    if (!module)
        return 0;
    const ORVI_RESOURCES* resources = ResourcesOf(*module);
    if (!resources)
        return 0;
    const ORVI_STRING_ENTRY* entry = FindString(*resources, uID);
    if (!entry) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t length = std::char_traits<WCHAR>::length(entry->text);
    if (cchBufferMax == 0) {
        // The caller's buffer is really a pointer variable; it may be unaligned.
        std::memcpy(lpBuffer, &entry->text, sizeof(entry->text));
        return static_cast<int>(length);
    }
    size_t copied = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
    std::char_traits<WCHAR>::copy(lpBuffer, entry->text, copied);
    lpBuffer[copied] = u'\0';
    return static_cast<int>(copied);
}

BOOL OrviGetModuleVersion(HMODULE hModule, WORD version[4]) {
    using namespace orvi::kernel;
    if (!version) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto module = ReferenceModule(hModule);
    if (!module)
        return FALSE;
    const ORVI_RESOURCES* resources = ResourcesOf(*module);
    if (!resources)
        return FALSE;
    std::copy(resources->version, resources->version + 4, version);
    return TRUE;
}
