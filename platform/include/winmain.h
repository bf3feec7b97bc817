// The device's program entry on this host: a program's main() hands its
// arguments to OrviRunWinMain, which calls the program's WinMain as the
// device's loader would.
#pragma once

#include "wintypes.h"

typedef int (*ORVI_WINMAIN)(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine,
                            int nShowCmd);

// Calls winMain with the program's module handle, no previous instance, the
// command line and SW_SHOW. The command line is the arguments after the
// program name (UTF-8 on the host, UTF-16 here) joined by single spaces, an
// argument holding a space or nothing in double quotes; without arguments it
// is empty text, as the device passes. Returns WinMain's result, of which
// the host keeps the low 8 bits as the process's exit status.
int OrviRunWinMain(int argc, char** argv, ORVI_WINMAIN winMain);
