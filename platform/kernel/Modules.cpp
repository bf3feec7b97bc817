// The module loader: LoadLibraryW, FreeLibrary, GetProcAddress and the
// module queries, over dlopen.
//
// Locking: one recursive loader lock serialises loads, unloads and every call
// of an entry function, so an entry function may itself load or free modules.
// The list of loaded modules has its own short lock for the queries, which
// never wait for an entry function running on another thread.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "Modules.h"
#include "excpt.h"

namespace orvi::kernel {
namespace {

using EntryFunction = BOOL (*)(HINSTANCE, DWORD, LPVOID);

struct Loader {
    std::recursive_mutex entryLock;
    std::mutex listLock;
    std::vector<std::shared_ptr<Module>> modules;
};

Loader& TheLoader() {
    static auto* loader = new Loader;  // lives until exit; threads may outlive main
    return *loader;
}

// The platform's exports that callers find only by name. Answering them from
// this table works whether or not the program exports its symbols, and
// naming them here links them into every program.
struct NamedExport {
    const char* name;
    void* address;
};
const NamedExport kPlatformExports[] = {
    {"IsAPIReady", reinterpret_cast<void*>(&IsAPIReady)},
    {"GetCallStackSnapshot", reinterpret_cast<void*>(&GetCallStackSnapshot)},
};

void* FindPlatformExport(const char* name) {
    for (const NamedExport& e : kPlatformExports)
        if (std::strcmp(e.name, name) == 0)
            return e.address;
    return nullptr;
}

std::string ToLowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    return strncasecmp(text.data() + text.size() - suffix.size(), suffix.data(),
                       suffix.size()) == 0;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// "libX.so" and "X.dll" are both known to callers as "x.dll".
std::string DllAlias(const std::string& lowerName) {
    if (lowerName.size() > 6 && lowerName.starts_with("lib") && lowerName.ends_with(".so"))
        return lowerName.substr(3, lowerName.size() - 6) + ".dll";
    if (lowerName.ends_with(".dll"))
        return lowerName;
    return {};
}

std::string ProgramHostPath() {
    std::string path(4096, '\0');
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    path.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return path;
}

void AddToList(const std::shared_ptr<Module>& module) {
    auto& loader = TheLoader();
    std::lock_guard guard(loader.listLock);
    loader.modules.push_back(module);
}

void RemoveFromList(const Module* module) {
    auto& loader = TheLoader();
    std::lock_guard guard(loader.listLock);
    std::erase_if(loader.modules, [module](const auto& m) { return m.get() == module; });
}

// The program and the platform are the process's own image: their lookups go
// through the handle of the main program, which sees its exports.
std::shared_ptr<Module> CreatePinned(Module::Kind kind) {
    void* self = dlopen(nullptr, RTLD_NOW);
    std::string hostPath = kind == Module::Kind::Program ? ProgramHostPath() : std::string();
    std::string fileName = kind == Module::Kind::Program ? BaseName(hostPath) : "coredll.dll";
    auto module = std::make_shared<Module>(kind, self, hostPath, fileName);
    module->SetHandle(reinterpret_cast<HMODULE>(InsertHandle(module)));
    AddToList(module);
    return module;
}

const std::shared_ptr<Module>& ProgramModule() {
    static auto* module = new std::shared_ptr<Module>(CreatePinned(Module::Kind::Program));
    return *module;
}

const std::shared_ptr<Module>& PlatformModule() {
    static auto* module = new std::shared_ptr<Module>(CreatePinned(Module::Kind::Platform));
    return *module;
}

std::shared_ptr<Module> FindByName(std::u16string_view name) {
    ProgramModule();  // so that the program can be found by its name
    auto& loader = TheLoader();
    std::lock_guard guard(loader.listLock);
    for (const auto& module : loader.modules) {
        if (module->IsNamed(name))
            return module;
    }
    return nullptr;
}

std::shared_ptr<Module> FindByDlHandle(void* dlHandle) {
    auto& loader = TheLoader();
    std::lock_guard guard(loader.listLock);
    for (const auto& module : loader.modules) {
        if (module->DlHandle() == dlHandle && !module->IsPinned())
            return module;
    }
    return nullptr;
}

// True when address lies in the object that dlHandle opened.
bool DefinedIn(void* address, void* dlHandle) {
    Dl_info info;
    struct link_map* owner = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || !owner)
        return false;
    struct link_map* self = nullptr;
    if (dlinfo(dlHandle, RTLD_DI_LINKMAP, &self) != 0)
        return false;
    return owner == self;
}

}  // namespace

Module::Module(Kind kind, void* dlHandle, std::string hostPath, std::string fileName)
    : KernelObject(ObjectType::Module),
      m_kind(kind),
      m_dlHandle(dlHandle),
      m_hostPath(std::move(hostPath)),
      m_fileName(std::move(fileName)) {}

void* Module::FindOwnSymbol(const char* name) const {
    if (m_kind == Kind::Platform)
        if (void* address = FindPlatformExport(name))
            return address;
    void* address = dlsym(m_dlHandle, name);
    if (!address || m_kind == Kind::Platform)
        return address;
    return DefinedIn(address, m_dlHandle) ? address : nullptr;
}

bool Module::IsNamed(std::u16string_view query) const {
    size_t separator = query.find_last_of(u"\\/");
    if (separator != std::u16string_view::npos)
        query.remove_prefix(separator + 1);
    std::string wanted = ToLowerAscii(Utf16ToUtf8(query));
    std::string own = ToLowerAscii(m_fileName);
    std::string alias = DllAlias(own);
    if (wanted == own || wanted + ".dll" == own)
        return true;
    return !alias.empty() && (wanted == alias || wanted + ".dll" == alias);
}

std::u16string Module::DevicePath() const {
    std::u16string device;
    if (m_kind != Kind::Platform && HostPathToDevice(m_hostPath, device))
        return device;
    return u"\\Windows\\" + Utf8ToUtf16(m_fileName);
}

std::shared_ptr<Module> ReferenceModule(HMODULE hModule) {
    if (!hModule)
        return ProgramModule();
    return ReferenceHandleAs<Module>(reinterpret_cast<HANDLE>(hModule), ObjectType::Module);
}

namespace {

// ---- finding the file ------------------------------------------------------------

enum class NameKind { Platform, DevicePath, HostLibrary, ModuleName, Invalid };

NameKind Classify(std::u16string_view name) {
    size_t separator = name.find_last_of(u"\\/");
    std::u16string_view file =
        separator == std::u16string_view::npos ? name : name.substr(separator + 1);
    std::string lowerFile = ToLowerAscii(Utf16ToUtf8(file));
    if (lowerFile == "coredll.dll" || lowerFile == "coredll")
        return NameKind::Platform;
    if (name.front() == u'\\' || name.front() == u'/')
        return NameKind::DevicePath;
    if (name.find_first_of(u"\\/") != std::u16string_view::npos)
        return NameKind::Invalid;  // the device has no current folder
    size_t so = lowerFile.find(".so");
    if (so != std::string::npos && (so + 3 == lowerFile.size() || lowerFile[so + 3] == '.'))
        return NameKind::HostLibrary;
    return NameKind::ModuleName;
}

// Host file names that a module name stands for, in the order they are tried.
std::vector<std::string> CandidateFileNames(const std::string& name) {
    if (EndsWithNoCase(name, ".dll"))
        return {"lib" + name.substr(0, name.size() - 4) + ".so", name};
    if (BaseName(name).find('.') == std::string::npos)
        return {"lib" + name + ".so", name + ".dll"};
    return {name};
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Looks for a file in a host folder, matching its name case-insensitively as
// the device does.
bool FindInFolder(const std::string& folder, const std::string& name, std::string& found) {
    if (IsRegularFile(folder + '/' + name)) {
        found = folder + '/' + name;
        return true;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool matched = false;
    while (struct dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0 &&
            IsRegularFile(folder + '/' + entry->d_name)) {
            found = folder + '/' + entry->d_name;
            matched = true;
            break;
        }
    }
    closedir(dir);
    return matched;
}

// The program's folder, then each folder of $ORVI_LIBRARY_PATH.
std::vector<std::string> LibraryFolders() {
    std::vector<std::string> folders{FolderOf(ProgramHostPath())};
    if (const char* env = std::getenv("ORVI_LIBRARY_PATH")) {
        std::string_view list(env);
        while (!list.empty()) {
            size_t colon = list.find(':');
            std::string_view folder = list.substr(0, colon);
            if (!folder.empty())
                folders.emplace_back(folder);
            list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
        }
    }
    return folders;
}

bool ResolveModuleName(std::u16string_view name, std::string& hostPath) {
    std::vector<std::string> candidates = CandidateFileNames(Utf16ToUtf8(name));
    for (const auto& folder : LibraryFolders()) {
        for (const auto& candidate : candidates) {
            if (FindInFolder(folder, candidate, hostPath))
                return true;
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
}

// A device path names the file itself; "X.dll" there may be installed as
// "libX.so" beside it.
bool ResolveDevicePath(std::u16string_view name, std::string& hostPath) {
    std::string mapped;
    if (!DevicePathToHost(name, mapped)) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            SetLastError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    if (IsRegularFile(mapped)) {
        hostPath = mapped;
        return true;
    }
    std::string file = BaseName(mapped);
    if (file.size() > 4 && EndsWithNoCase(file, ".dll") &&
        FindInFolder(FolderOf(mapped), "lib" + file.substr(0, file.size() - 4) + ".so", hostPath))
        return true;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
}

// ---- loading and unloading ---------------------------------------------------------

// Runs the module's entry function, if it has one. The caller holds the
// loader lock.
bool CallEntry(const Module& module, DWORD reason) {
    void* symbol = module.FindOwnSymbol("DllMain");
    if (!symbol)
        return true;
    auto entry = reinterpret_cast<EntryFunction>(symbol);
    return entry(reinterpret_cast<HINSTANCE>(module.Handle()), reason, nullptr) != FALSE;
}

HMODULE AddReference(Module& module) {
    if (!module.IsPinned())
        ++module.m_references;
    return module.Handle();
}

void Unload(const std::shared_ptr<Module>& module) {
    Trace("unloading %s", module->HostPath().c_str());
    RemoveFromList(module.get());
    RemoveHandle(reinterpret_cast<HANDLE>(module->Handle()));
    dlclose(module->DlHandle());
}

// The path the dynamic linker actually opened: for a host library name, the
// system file it found.
std::string OpenedPath(void* dlHandle, const std::string& requested) {
    struct link_map* map = nullptr;
    if (requested.find('/') == std::string::npos && dlinfo(dlHandle, RTLD_DI_LINKMAP, &map) == 0 &&
        map && map->l_name && *map->l_name)
        return map->l_name;
    return requested;
}

HMODULE LoadHostFile(const std::string& path) {
    void* dlHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dlHandle) {
        Trace("LoadLibraryW: %s", dlerror());
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (auto loaded = FindByDlHandle(dlHandle)) {
        dlclose(dlHandle);  // the module keeps the reference it took first
        return AddReference(*loaded);
    }
    std::string opened = OpenedPath(dlHandle, path);
    auto module =
        std::make_shared<Module>(Module::Kind::Library, dlHandle, opened, BaseName(opened));
    module->SetHandle(reinterpret_cast<HMODULE>(InsertHandle(module)));
    module->m_references = 1;
    AddToList(module);
    if (!CallEntry(*module, DLL_PROCESS_ATTACH)) {
        CallEntry(*module, DLL_PROCESS_DETACH);
        Unload(module);
        Trace("LoadLibraryW: entry function of %s failed", opened.c_str());
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    Trace("LoadLibraryW: loaded %s as %p", opened.c_str(), static_cast<void*>(module->Handle()));
    return module->Handle();
}

}  // namespace
}  // namespace orvi::kernel

using orvi::kernel::Module;

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    using namespace orvi::kernel;
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string_view name(lpLibFileName);
    const DWORD previousError = GetLastError();
    std::lock_guard loaderLock(TheLoader().entryLock);
    std::string hostPath;
    switch (Classify(name)) {
    case NameKind::Platform:
        return PlatformModule()->Handle();
    case NameKind::ModuleName:
        if (auto loaded = FindByName(name))
            return AddReference(*loaded);
        if (!ResolveModuleName(name, hostPath))
            return nullptr;
        break;
    case NameKind::DevicePath:
        if (!ResolveDevicePath(name, hostPath))
            return nullptr;
        break;
    case NameKind::HostLibrary:
        hostPath = Utf16ToUtf8(name);
        break;
    case NameKind::Invalid:
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // What the search or an entry function left in the last error is not the
    // caller's business when the load succeeds.
    HMODULE module = LoadHostFile(hostPath);
    if (module)
        SetLastError(previousError);
    return module;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    using namespace orvi::kernel;
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto module = ReferenceModule(hLibModule);
    if (!module)
        return FALSE;
    std::lock_guard loaderLock(TheLoader().entryLock);
    if (module->IsPinned())
        return TRUE;
    if (module->m_references <= 0) {  // freed by another thread meanwhile
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--module->m_references == 0) {
        CallEntry(*module, DLL_PROCESS_DETACH);
        Unload(module);
    }
    return TRUE;
}

BOOL DisableThreadLibraryCalls(HMODULE hLibModule) {
    // Entry functions never receive thread notifications here.
    return hLibModule && orvi::kernel::ReferenceModule(hLibModule) ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE hModule, LPCWSTR lpProcName) {
    if (!lpProcName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto module = orvi::kernel::ReferenceModule(hModule);
    if (!module)
        return nullptr;
    std::string symbol = IS_INTRESOURCE(lpProcName)
                             ? "Ordinal_" + std::to_string(reinterpret_cast<ULONG_PTR>(lpProcName))
                             : orvi::kernel::Utf16ToUtf8(lpProcName);
    void* address = symbol.empty() ? nullptr : module->FindOwnSymbol(symbol.c_str());
    if (!address) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(address);
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
    using namespace orvi::kernel;
    if (!lpModuleName)
        return ProgramModule()->Handle();
    std::u16string_view name(lpModuleName);
    if (!name.empty() && Classify(name) == NameKind::Platform)
        return PlatformModule()->Handle();
    auto module = name.empty() ? nullptr : FindByName(name);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return module->Handle();
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (!lpFilename) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto module = orvi::kernel::ReferenceModule(hModule);
    if (!module)
        return 0;
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string path = module->DevicePath();
    if (path.size() < nSize) {
        std::copy(path.begin(), path.end(), lpFilename);
        lpFilename[path.size()] = u'\0';
        return static_cast<DWORD>(path.size());
    }
    std::copy_n(path.begin(), nSize - 1, lpFilename);
    lpFilename[nSize - 1] = u'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

extern "C" BOOL IsAPIReady(DWORD) { return TRUE; }
