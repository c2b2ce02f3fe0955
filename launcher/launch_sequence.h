// The body of the launch worker: every step of a run, in order.
#pragma once

#include <windows.h>

#include <string>

// Process-wide values written by the main thread before the worker exists.
extern std::string g_commandLineText;  // after the typographic-quote replacement
extern HINSTANCE g_instance;

// Thread entry of the launch worker; the argument is the host window handle.
DWORD WINAPI LaunchWorker(LPVOID hostWindow);

// Runs the launch sequence from start to end; the close request to the host
// window (when there is one) is its last act.
void RunLaunchSequence(HWND hostWindow);
