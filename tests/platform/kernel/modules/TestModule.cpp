// A plug-in with an entry function, named and ordinal exports and its own
// resources. Built twice: ORVI_TEST_MODULE_TAG tells the copies apart.
#include <chrono>
#include <thread>

#include "TestModuleHooks.h"

namespace {

const ORVI_STRING_ENTRY kStrings[] = {
    {101, u"Module string"},
    {102, u"Gr\u00fc\u00dfe aus dem Modul"},
};

}  // namespace

ORVI_DEFINE_RESOURCES_VERSION(kStrings, 3, 1, 4, 15);

extern "C" ORVI_DLLEXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    OrviTestEntryBegin(ORVI_TEST_MODULE_TAG, instance, reason, reserved);
    // Widens the window in which an unserialised loader would let another
    // entry function run at the same time.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    OrviTestEntryEnd(ORVI_TEST_MODULE_TAG, reason);
    return TRUE;
}

extern "C" ORVI_DLLEXPORT const char* TestModuleTag() { return ORVI_TEST_MODULE_TAG; }

extern "C" ORVI_DLLEXPORT int TestModuleAdd(int a, int b) { return a + b; }

// Exported by ordinal 240 only, as the Today item entry is.
extern "C" ORVI_DLLEXPORT int Ordinal_240() { return 240; }
