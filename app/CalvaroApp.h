// Process-wide state of the Calvaro program and its entry.
#pragma once

#include "platform.h"
#include "winloop.h"

// The application name: string resource 128, also the single-instance
// mutex name, the main frame's class name and caption.
extern WCHAR g_appName[MAX_PATH];
extern CAppModule _Module;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);
// Creates the main frame, runs the message loop and answers its result (0
// when the frame cannot be created).
int Run(LPWSTR lpCmdLine, int nShowCmd);
