// A plug-in with no entry function and no resources of its own. It depends
// on the test module (linked, not loaded by the platform), so a lookup that
// strays into a dependency finds that module's resources and exports.
#include "TestModuleHooks.h"

extern "C" int TestModuleAdd(int a, int b);

extern "C" ORVI_DLLEXPORT int BareAddTwice(int a, int b) {
    return TestModuleAdd(TestModuleAdd(a, b), b);
}
