// Loaded modules, shared by the module API (Modules.cpp) and the resource
// API (Resources.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "internal.h"
#include "moduleapi.h"

namespace orvi::kernel {

// One module known to the loader. The program and the platform are pinned:
// created on first use, never unloaded. A library lives from its first
// LoadLibraryW to its last FreeLibrary; its handle is removed from the handle
// table before it is unmapped.
class Module final : public KernelObject {
public:
    enum class Kind { Program, Platform, Library };

    // dlHandle comes from dlopen and is closed by the loader, not here.
    Module(Kind kind, void* dlHandle, std::string hostPath, std::string fileName);

    Kind ModuleKind() const { return m_kind; }
    bool IsPinned() const { return m_kind != Kind::Library; }
    void* DlHandle() const { return m_dlHandle; }
    const std::string& HostPath() const { return m_hostPath; }
    HMODULE Handle() const { return m_handle; }
    void SetHandle(HMODULE handle) { m_handle = handle; }

    // Address of an exported symbol defined in this module's own file; a
    // symbol of a library it depends on, or of the host, is not its own. The
    // platform's lookups cover the whole program, as its exports live there.
    void* FindOwnSymbol(const char* name) const;
    // True when the query names this module's file, case-insensitively,
    // with or without ".dll" ("Brisko", "Brisko.dll", "libBrisko.so").
    bool IsNamed(std::u16string_view query) const;
    // The path GetModuleFileNameW answers; see moduleapi.h.
    std::u16string DevicePath() const;

    // LoadLibraryW calls not yet matched by FreeLibrary. Guarded by the
    // loader lock.
    int m_references = 0;

private:
    const Kind m_kind;
    void* const m_dlHandle;
    const std::string m_hostPath;
    const std::string m_fileName;  // as on disk; compared without case
    HMODULE m_handle = nullptr;
};

// The module behind a handle; NULL is the program. Sets ERROR_INVALID_HANDLE
// and returns null for anything else.
std::shared_ptr<Module> ReferenceModule(HMODULE hModule);

}  // namespace orvi::kernel
