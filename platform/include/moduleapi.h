// Modules (the program, plug-in libraries, host libraries, the platform
// itself), their entry functions and their resources.
//
// Plug-in linking rule: a plug-in library never links the platform. It leaves
// the platform's symbols undefined so that they resolve to the one copy in the
// host program, which links the platform statically and exports its symbols.
//
// Module handles are platform handles, valid until the last FreeLibrary;
// CloseHandle is not for them. Functions succeed without touching the last
// error; failures return NULL/FALSE/0 with the code named below.
#pragma once

#include "winerror.h"
#include "wintypes.h"

// Any exported function: cast it to the export's real type before calling.
// void (*)() is the type the compiler accepts casts from without a warning.
typedef void (*FARPROC)();

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Marks a symbol a module exports: its entry function "DllMain" with the
// signature BOOL DllMain(HINSTANCE, DWORD reason, LPVOID reserved), its named
// exports, and ordinal N exported as the C symbol "Ordinal_N".
#define ORVI_DLLEXPORT __attribute__((visibility("default")))

// A resource id in place of a name: GetProcAddress(h, MAKEINTRESOURCEW(240))
// looks up ordinal 240.
#define IS_INTRESOURCE(p) (reinterpret_cast<ULONG_PTR>(p) < 0x10000)
#define MAKEINTRESOURCEW(i) reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i)))

// Loads a module and returns its handle, counting one more reference.
// - "X.dll" (or "X"): an already loaded module of that name, else "libX.so"
//   (or the file "X.dll" itself) from the folder of the program's host file,
//   then from each host folder of $ORVI_LIBRARY_PATH (colon-separated), file
//   names matched case-insensitively.
// - "\Program Files\X\X.dll": a full device path; that file below the device
//   root, or "libX.so" in the same folder when the named file is missing.
// - a host library name containing ".so" ("libavformat.so.59"): loaded from
//   the host system as the dynamic linker finds it.
// - "coredll.dll": the platform itself, always loaded.
// The entry function runs with DLL_PROCESS_ATTACH on the first load only;
// when it answers FALSE it is called again with DLL_PROCESS_DETACH, the module
// is unloaded and the call fails with ERROR_DLL_INIT_FAILED. Entry functions
// never receive thread notifications. A missing or unloadable file fails with
// ERROR_MOD_NOT_FOUND.
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// Drops one reference; the last runs the entry function with
// DLL_PROCESS_DETACH and unloads the module. The program and the platform are
// never unloaded. ERROR_INVALID_HANDLE for anything but a module handle.
BOOL FreeLibrary(HMODULE hLibModule);
BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

// Finds an export of the module itself (never one of the libraries it
// depends on) by name, or by ordinal when lpProcName is below 0x10000.
// hModule NULL is the program. Missing: ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE hModule, LPCWSTR lpProcName);
// NULL gives the program's handle; a name is matched case-insensitively
// against the file names of loaded modules, with or without ".dll" ("Brisko",
// "Brisko.dll" and "libBrisko.so" all name libBrisko.so). Does not add a
// reference. Not loaded: ERROR_MOD_NOT_FOUND.
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
// Device path of the module's file. A module installed below the device root
// answers its path there; one outside it (the program in a build tree, a host
// library, the platform) answers "\Windows\<file name>", where the device
// keeps its built-in programs. Returns the length copied without the NUL.
// A path that does not fit is truncated to nSize - 1 characters plus the NUL,
// and the result is nSize with ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// ---- resources ---------------------------------------------------------------
// Every module carries its resources as one C symbol "OrviResources", defined
// once in one of the module's own source files with ORVI_DEFINE_RESOURCES.
// A program must define it in a file linked directly into the executable (not
// through a static library), a plug-in anywhere in the library. Fields are
// only ever appended; cbSize says which ones a module has.
struct ORVI_STRING_ENTRY {
    UINT id;
    LPCWSTR text;  // NUL-terminated, lives as long as the module
};

struct ORVI_RESOURCES {
    DWORD cbSize;
    WORD version[4];  // major, minor, patch, build
    const ORVI_STRING_ENTRY* strings;
    DWORD stringCount;
};

// Defines the module's resources from an array of ORVI_STRING_ENTRY and the
// four numbers (WORD each); ORVI_DEFINE_RESOURCES takes them from the build
// (ORVI_VERSION_MAJOR/MINOR/PATCH/BUILD). Every module exports the same name,
// so the record is protected: exported, yet never interposed by the host's
// record of the same name.
#define ORVI_DEFINE_RESOURCES_VERSION(stringTable, major, minor, patch, build)      \
    extern "C" __attribute__((visibility("protected"), used))                       \
    const ORVI_RESOURCES OrviResources = {                                          \
        sizeof(ORVI_RESOURCES),                                                     \
        {major, minor, patch, build},                                               \
        stringTable,                                                                \
        static_cast<DWORD>(sizeof(stringTable) / sizeof((stringTable)[0]))}
#define ORVI_DEFINE_RESOURCES(stringTable)                                          \
    ORVI_DEFINE_RESOURCES_VERSION(stringTable, ORVI_VERSION_MAJOR, ORVI_VERSION_MINOR, \
                                  ORVI_VERSION_PATCH, ORVI_VERSION_BUILD)

// Copies string uID of the module (NULL: the program) into lpBuffer,
// truncated to cchBufferMax - 1 characters plus the NUL, and returns the
// number of characters copied. With cchBufferMax 0, lpBuffer receives a
// read-only pointer to the string itself (NUL-terminated here) and the result
// is its full length. Errors, all with result 0: ERROR_RESOURCE_NAME_NOT_FOUND
// (no such id), ERROR_RESOURCE_DATA_NOT_FOUND (the module has no resources),
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER (no buffer).
int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

// The module's four version numbers (major, minor, patch, build) from its
// resources; FALSE with ERROR_RESOURCE_DATA_NOT_FOUND when it has none.
BOOL OrviGetModuleVersion(HMODULE hModule, WORD version[4]);

// ---- readiness of platform services ---------------------------------------
#define SH_WMGR 17
#define SH_SHELL 21

// Found by plug-ins with GetProcAddress(LoadLibraryW(u"coredll.dll"),
// u"IsAPIReady"). Every service of this platform is ready once the host's
// main() runs.
extern "C" ORVI_DLLEXPORT BOOL IsAPIReady(DWORD hAPI);
