// Two libraries of the same file name, one beside the test program and one
// in the library folder; each says where it was built to be.
#include "TestModuleHooks.h"

extern "C" ORVI_DLLEXPORT const char* ShadowPlace() { return ORVI_TEST_SHADOW_PLACE; }
