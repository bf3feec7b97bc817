// Modules: loading, reference counting and entry functions, exports, module
// queries, string tables and version numbers. The modules under modules/ are
// real shared libraries that resolve the platform from this program.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TestModuleHooks.h"
#include "TestSupport.h"
#include "platform.h"

// ---- hooks the test modules call -------------------------------------------------

namespace {

struct EntryEvent {
    std::string module;
    bool begin;
    DWORD reason;
    HINSTANCE instance;
    bool reservedNull;
};

struct EntryLog {
    std::mutex lock;
    std::vector<EntryEvent> events;
    int inside = 0;
    int maxInside = 0;
};

EntryLog& Log() {
    static EntryLog log;
    return log;
}

}  // namespace

extern "C" void OrviTestEntryBegin(const char* module, HINSTANCE instance, DWORD reason,
                                   LPVOID reserved) {
    auto& log = Log();
    std::lock_guard guard(log.lock);
    log.events.push_back({module, true, reason, instance, reserved == nullptr});
    log.maxInside = std::max(log.maxInside, ++log.inside);
}

extern "C" void OrviTestEntryEnd(const char* module, DWORD reason) {
    auto& log = Log();
    std::lock_guard guard(log.lock);
    log.events.push_back({module, false, reason, nullptr, true});
    --log.inside;
}

namespace {
const ORVI_STRING_ENTRY kProgramStrings[] = {{128, u"Calvaro"}};  // the program's own resources
}  // namespace
ORVI_DEFINE_RESOURCES(kProgramStrings);

namespace {

constexpr DWORD kUntouched = 0xC0DE;

// Gives a test the module folders it expects and a clean entry log; the
// folder that does not exist checks that the search moves on.
class ModuleEnvironment {
public:
    ModuleEnvironment() {
        if (const char* previous = std::getenv("ORVI_LIBRARY_PATH"))
            m_previous = previous;
        setenv("ORVI_LIBRARY_PATH", "/nonexistent-orvi-folder::" ORVI_TEST_MODULE_DIR, 1);
        std::lock_guard guard(Log().lock);
        Log().events.clear();
        Log().maxInside = 0;
    }
    ~ModuleEnvironment() {
        if (m_previous)
            setenv("ORVI_LIBRARY_PATH", m_previous->c_str(), 1);
        else
            unsetenv("ORVI_LIBRARY_PATH");
    }

private:
    std::optional<std::string> m_previous;
};

// Begin events of one module, or of all modules when module is empty.
std::vector<EntryEvent> Entries(const std::string& module = {}) {
    std::lock_guard guard(Log().lock);
    std::vector<EntryEvent> out;
    for (const auto& e : Log().events) {
        if (e.begin && (module.empty() || e.module == module))
            out.push_back(e);
    }
    return out;
}

std::vector<std::string> EventTrace() {
    std::lock_guard guard(Log().lock);
    std::vector<std::string> out;
    for (const auto& e : Log().events)
        out.push_back((e.begin ? "begin " : "end ") + e.module + " " + std::to_string(e.reason));
    return out;
}

template <class F>
F Proc(HMODULE module, LPCWSTR name) {
    return reinterpret_cast<F>(GetProcAddress(module, name));
}

std::u16string ModuleFileName(HMODULE module) {
    WCHAR buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    return std::u16string(buffer, length);
}

std::u16string ProgramFileName() {
    std::string name = std::filesystem::read_symlink("/proc/self/exe").filename().string();
    return std::u16string(name.begin(), name.end());
}

}  // namespace

// ---- LoadLibraryW / FreeLibrary ------------------------------------------------------

TEST(LoadLibraryW, EntryRunsOnFirstLoadAndLastFreeOnlyWhateverTheNamesCase) {
    ModuleEnvironment env;
    SetLastError(kUntouched);
    HMODULE first = LoadLibraryW(u"orvitestmodule.dll");  // found on disk despite the case
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(LoadLibraryW(u"ORVITESTMODULE"), first);
    EXPECT_EQ(LoadLibraryW(u"OrviTestModule.DLL"), first);

    auto entries = Entries("module");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].reason, static_cast<DWORD>(DLL_PROCESS_ATTACH));
    EXPECT_EQ(entries[0].instance, first);
    EXPECT_TRUE(entries[0].reservedNull);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(Entries("module").size(), 1u);
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule.dll"), first);
    EXPECT_TRUE(FreeLibrary(first));
    entries = Entries("module");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].reason, static_cast<DWORD>(DLL_PROCESS_DETACH));
    EXPECT_EQ(entries[1].instance, first);
    EXPECT_TRUE(entries[1].reservedNull);

    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibraryW, MissingModuleFails) {
    ModuleEnvironment env;
    orvi::test::TempDeviceRoot root;
    for (LPCWSTR name : {u"OrviNoSuchModule", u"\\Windows\\Nothing.dll", u"libnosuch-orvi.so.3"}) {
        SetLastError(kUntouched);
        EXPECT_EQ(LoadLibraryW(name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(LoadLibraryW, EntryAnsweringFalseFailsAndUnloads) {
    ModuleEnvironment env;
    EXPECT_EQ(LoadLibraryW(u"OrviTestFailing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    auto entries = Entries("failing");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].reason, static_cast<DWORD>(DLL_PROCESS_ATTACH));
    EXPECT_EQ(entries[1].reason, static_cast<DWORD>(DLL_PROCESS_DETACH));
    EXPECT_EQ(entries[1].instance, entries[0].instance);
    EXPECT_FALSE(FreeLibrary(entries[0].instance));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // Nothing of the failed load is kept: the next load runs the entry again.
    EXPECT_EQ(LoadLibraryW(u"OrviTestFailing.dll"), nullptr);
    EXPECT_EQ(Entries("failing").size(), 4u);
}

TEST(LoadLibraryW, SearchesProgramFolderThenLibraryPath) {
    ModuleEnvironment env;
    HMODULE shadow = LoadLibraryW(u"OrviTestShadow.dll");
    ASSERT_NE(shadow, nullptr);
    auto place = Proc<const char* (*)()>(shadow, u"ShadowPlace");
    ASSERT_NE(place, nullptr);
    EXPECT_STREQ(place(), "program");
    EXPECT_TRUE(FreeLibrary(shadow));

    unsetenv("ORVI_LIBRARY_PATH");
    EXPECT_EQ(LoadLibraryW(u"OrviTestModule.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibraryW, FullDevicePathLoadsFromDeviceRoot) {
    ModuleEnvironment env;
    unsetenv("ORVI_LIBRARY_PATH");  // only the device tree has the module
    orvi::test::TempDeviceRoot root;
    // Installed into the device tree, as the installer places a plug-in.
    std::filesystem::path folder = root.Host("\\Program Files\\Orvi Test");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(ORVI_TEST_MODULE_DIR "/libOrviTestModule.so",
                               folder / "libOrviTestModule.so");

    HMODULE byFile = LoadLibraryW(u"\\Program Files\\Orvi Test\\libOrviTestModule.so");
    ASSERT_NE(byFile, nullptr);
    auto tag = Proc<const char* (*)()>(byFile, u"TestModuleTag");
    ASSERT_NE(tag, nullptr);
    EXPECT_STREQ(tag(), "module");
    // The device name of the same file, in another case, is the same module.
    EXPECT_EQ(LoadLibraryW(u"\\PROGRAM FILES\\orvi test\\OrviTestModule.dll"), byFile);
    EXPECT_EQ(Entries("module").size(), 1u);
    EXPECT_EQ(ModuleFileName(byFile), u"\\Program Files\\Orvi Test\\libOrviTestModule.so");
    EXPECT_TRUE(FreeLibrary(byFile));
    EXPECT_TRUE(FreeLibrary(byFile));
    EXPECT_EQ(Entries("module").size(), 2u);
}

TEST(LoadLibraryW, EntryFunctionMayLoadModules) {
    ModuleEnvironment env;
    HMODULE nested = LoadLibraryW(u"OrviTestNested.dll");
    ASSERT_NE(nested, nullptr);
    auto helperHandle = Proc<HMODULE (*)()>(nested, u"NestedHelperHandle");
    ASSERT_NE(helperHandle, nullptr);
    EXPECT_NE(helperHandle(), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule.dll"), helperHandle());

    EXPECT_TRUE(FreeLibrary(nested));
    std::vector<std::string> expected{"begin nested 1", "begin module 1", "end module 1",
                                      "end nested 1",   "begin nested 0", "begin module 0",
                                      "end module 0",   "end nested 0"};
    EXPECT_EQ(EventTrace(), expected);
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule.dll"), nullptr);
}

TEST(LoadLibraryW, ConcurrentLoadsKeepEntryCallsPairedAndSerialised) {
    ModuleEnvironment env;
    constexpr int kRounds = 40;
    std::atomic<int> failures{0};
    auto worker = [&failures](LPCWSTR name) {
        for (int i = 0; i < kRounds; ++i) {
            HMODULE module = LoadLibraryW(name);
            if (!module || !FreeLibrary(module))
                ++failures;
        }
    };
    {
        std::jthread a(worker, u"OrviTestModule.dll"), b(worker, u"OrviTestModule.dll");
        std::jthread c(worker, u"OrviTestSecond.dll"), d(worker, u"OrviTestSecond.dll");
    }

    EXPECT_EQ(failures.load(), 0);
    {
        std::lock_guard guard(Log().lock);
        EXPECT_EQ(Log().maxInside, 1);  // no two entry functions ever overlapped
    }
    for (const char* module : {"module", "second"}) {
        auto entries = Entries(module);
        ASSERT_FALSE(entries.empty());
        ASSERT_EQ(entries.size() % 2, 0u) << module;
        for (size_t i = 0; i < entries.size(); ++i) {
            DWORD expected = i % 2 == 0 ? DLL_PROCESS_ATTACH : DLL_PROCESS_DETACH;
            EXPECT_EQ(entries[i].reason, expected) << module << " call " << i;
        }
    }
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"OrviTestSecond.dll"), nullptr);
}

TEST(LoadLibraryW, CoredllIsThePlatformAndNeverUnloads) {
    HMODULE platform = LoadLibraryW(u"coredll.dll");
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"COREDLL"), platform);
    EXPECT_NE(platform, GetModuleHandleW(nullptr));
    EXPECT_TRUE(FreeLibrary(platform));
    EXPECT_TRUE(FreeLibrary(platform));
    auto isApiReady = Proc<BOOL (*)(DWORD)>(platform, u"IsAPIReady");
    ASSERT_NE(isApiReady, nullptr);
    EXPECT_TRUE(isApiReady(SH_SHELL));
    EXPECT_EQ(ModuleFileName(platform), u"\\Windows\\coredll.dll");
}

TEST(FreeLibrary, RefusesWhatIsNotAModule) {
    HANDLE heap = HeapCreate(0, 0, 0);
    ASSERT_NE(heap, nullptr);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(heap)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(HeapDestroy(heap));
    // The program itself stays loaded whatever its callers do.
    HMODULE program = GetModuleHandleW(nullptr);
    EXPECT_TRUE(FreeLibrary(program));
    EXPECT_EQ(GetModuleHandleW(nullptr), program);
    EXPECT_FALSE(ModuleFileName(program).empty());
}

TEST(DisableThreadLibraryCalls, AcceptsModulesOnly) {
    SetLastError(kUntouched);
    EXPECT_TRUE(DisableThreadLibraryCalls(GetModuleHandleW(nullptr)));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_FALSE(DisableThreadLibraryCalls(reinterpret_cast<HMODULE>(0x7fff0000)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- GetProcAddress --------------------------------------------------------------------

TEST(GetProcAddress, FindsExportsByNameAndByOrdinalOnly) {
    ModuleEnvironment env;
    HMODULE module = LoadLibraryW(u"OrviTestModule.dll");
    ASSERT_NE(module, nullptr);
    SetLastError(kUntouched);
    auto add = Proc<int (*)(int, int)>(module, u"TestModuleAdd");
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add(20, 22), 42);
    auto ordinal = Proc<int (*)()>(module, MAKEINTRESOURCEW(240));
    ASSERT_NE(ordinal, nullptr);
    EXPECT_EQ(ordinal(), 240);
    EXPECT_EQ(GetLastError(), kUntouched);

    // kStrings is a symbol of the module but not an export.
    const LPCWSTR missing[] = {u"NoSuchExport", u"kStrings", MAKEINTRESOURCEW(241)};
    for (LPCWSTR name : missing) {
        SetLastError(kUntouched);
        EXPECT_EQ(GetProcAddress(module, name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetProcAddress(module, u"TestModuleAdd"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GetProcAddress, SeesOnlyTheModulesOwnExports) {
    ModuleEnvironment env;
    HMODULE bare = LoadLibraryW(u"OrviTestBare.dll");
    ASSERT_NE(bare, nullptr);
    auto addTwice = Proc<int (*)(int, int)>(bare, u"BareAddTwice");
    ASSERT_NE(addTwice, nullptr);
    EXPECT_EQ(addTwice(1, 2), 5);
    // TestModuleAdd lives in the library it depends on.
    EXPECT_EQ(GetProcAddress(bare, u"TestModuleAdd"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(Entries().empty());  // no entry function, and a dependency gets none
    EXPECT_TRUE(FreeLibrary(bare));

    EXPECT_EQ(GetProcAddress(nullptr, u"OrviTestEntryBegin"),
              reinterpret_cast<FARPROC>(&OrviTestEntryBegin));
    // A function of the C library is not the program's export.
    SetLastError(kUntouched);
    EXPECT_EQ(GetProcAddress(nullptr, u"strlen"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

// ---- GetModuleHandleW / GetModuleFileNameW -------------------------------------------------

TEST(GetModuleHandleW, FindsLoadedModulesByFileNameWithoutAReference) {
    ModuleEnvironment env;
    HMODULE program = GetModuleHandleW(nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(GetModuleHandleW(ProgramFileName().c_str()), program);

    HMODULE module = LoadLibraryW(u"OrviTestModule.dll");
    ASSERT_NE(module, nullptr);
    SetLastError(kUntouched);
    for (LPCWSTR name : {u"libOrviTestModule.so", u"\\Windows\\OrviTestModule.dll"})
        EXPECT_EQ(GetModuleHandleW(name), module);
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleW(u"OrviTestModule"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(GetModuleFileNameW, AnswersWindowsFolderOutsideDeviceRoot) {
    ModuleEnvironment env;
    orvi::test::TempDeviceRoot root;
    EXPECT_EQ(ModuleFileName(nullptr), u"\\Windows\\" + ProgramFileName());
    HMODULE module = LoadLibraryW(u"OrviTestModule.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ModuleFileName(module), u"\\Windows\\libOrviTestModule.so");
    EXPECT_TRUE(FreeLibrary(module));
    // A host library found on the system.
    HMODULE math = LoadLibraryW(u"libm.so.6");
    ASSERT_NE(math, nullptr);
    auto cosine = Proc<double (*)(double)>(math, u"cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(ModuleFileName(math), u"\\Windows\\libm.so.6");
    EXPECT_TRUE(FreeLibrary(math));
}

TEST(GetModuleFileNameW, TruncatesToTheBuffer) {
    orvi::test::TempDeviceRoot root;
    std::u16string full = ModuleFileName(nullptr);
    ASSERT_GT(full.size(), 8u);
    WCHAR buffer[MAX_PATH];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer), full.substr(0, 4));
    EXPECT_EQ(buffer[5], u'#');

    const DWORD exact = static_cast<DWORD>(full.size() + 1);
    SetLastError(kUntouched);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, exact), full.size());
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_EQ(std::u16string(buffer), full);

    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x7fff0000), buffer, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- LoadStringW / OrviGetModuleVersion ---------------------------------------------------

TEST(LoadStringW, CopiesFromEachModulesOwnTable) {
    ModuleEnvironment env;
    WCHAR buffer[64];
    SetLastError(kUntouched);
    EXPECT_EQ(LoadStringW(nullptr, 128, buffer, 64), 7);
    EXPECT_EQ(std::u16string(buffer), u"Calvaro");
    EXPECT_EQ(GetLastError(), kUntouched);

    HMODULE module = LoadLibraryW(u"OrviTestModule.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LoadStringW(module, 102, buffer, 64), 19);
    EXPECT_EQ(std::u16string(buffer), u"Gr\u00fc\u00dfe aus dem Modul");
    EXPECT_EQ(LoadStringW(module, 128, buffer, 64), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    SetLastError(kUntouched);
    EXPECT_EQ(LoadStringW(nullptr, 101, buffer, 64), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));

    // A module without a table of its own: its dependency's does not answer.
    HMODULE bare = LoadLibraryW(u"OrviTestBare.dll");
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(LoadStringW(bare, 101, buffer, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(bare));
}

TEST(LoadStringW, TruncatesOrPointsAtTheString) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    SetLastError(kUntouched);
    EXPECT_EQ(LoadStringW(nullptr, 128, buffer, 5), 4);
    EXPECT_EQ(std::u16string(buffer), u"Calv");
    EXPECT_EQ(buffer[5], u'#');
    LPCWSTR text = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 128, reinterpret_cast<LPWSTR>(&text), 0), 7);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string_view(text, 7), u"Calvaro");
    EXPECT_EQ(GetLastError(), kUntouched);

    EXPECT_EQ(LoadStringW(reinterpret_cast<HINSTANCE>(0x7fff0000), 128, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadStringW(nullptr, 128, nullptr, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(OrviGetModuleVersion, ReadsEachModulesNumbers) {
    ModuleEnvironment env;
    WORD version[4] = {};
    SetLastError(kUntouched);
    ASSERT_TRUE(OrviGetModuleVersion(nullptr, version));
    EXPECT_EQ(std::vector<WORD>(version, version + 4),
              (std::vector<WORD>{ORVI_VERSION_MAJOR, ORVI_VERSION_MINOR, ORVI_VERSION_PATCH,
                                 ORVI_VERSION_BUILD}));
    HMODULE module = LoadLibraryW(u"OrviTestModule.dll");
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(OrviGetModuleVersion(module, version));
    EXPECT_EQ(std::vector<WORD>(version, version + 4), (std::vector<WORD>{3, 1, 4, 15}));
    EXPECT_EQ(GetLastError(), kUntouched);
    EXPECT_TRUE(FreeLibrary(module));

    HMODULE bare = LoadLibraryW(u"OrviTestBare.dll");
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(OrviGetModuleVersion(bare, version));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(bare));
    EXPECT_FALSE(OrviGetModuleVersion(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
