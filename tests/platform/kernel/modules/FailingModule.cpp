// A plug-in whose entry function refuses to attach.
#include "TestModuleHooks.h"

extern "C" ORVI_DLLEXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    OrviTestEntryBegin("failing", instance, reason, reserved);
    OrviTestEntryEnd("failing", reason);
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
