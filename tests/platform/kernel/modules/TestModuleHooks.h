// What the test modules and the test program that loads them share. The
// program defines the hooks and exports them; a module leaves them undefined,
// as it does every platform function, and reaches the program's copy.
#pragma once

#include "moduleapi.h"

// An entry function reports when it starts and when it returns, so the tests
// can check which calls happened, with which arguments, and that no two
// overlapped.
extern "C" void OrviTestEntryBegin(const char* module, HINSTANCE instance, DWORD reason,
                                   LPVOID reserved);
extern "C" void OrviTestEntryEnd(const char* module, DWORD reason);
