// A plug-in whose entry function loads and frees another module, as a plug-in
// that uses a helper library does.
#include "TestModuleHooks.h"

namespace {
HMODULE g_helper = nullptr;
}

extern "C" ORVI_DLLEXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    OrviTestEntryBegin("nested", instance, reason, reserved);
    BOOL ok = TRUE;
    if (reason == DLL_PROCESS_ATTACH) {
        g_helper = LoadLibraryW(u"OrviTestModule.dll");
        ok = g_helper != nullptr;
    } else if (reason == DLL_PROCESS_DETACH && g_helper) {
        FreeLibrary(g_helper);
        g_helper = nullptr;
    }
    OrviTestEntryEnd("nested", reason);
    return ok;
}

extern "C" ORVI_DLLEXPORT HMODULE NestedHelperHandle() { return g_helper; }
