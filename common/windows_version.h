// What every program of the system asks of Windows: which Windows this is,
// the text it was started with, and the messages of its windows.
#pragma once

#include <string>

struct WindowsVersion {
    unsigned major = 0;     // 0 when the query failed
    unsigned minor = 0;
    unsigned platform = 0;  // VER_PLATFORM_WIN32_WINDOWS for Windows 95, 98 and Me
};

// GetVersionExA in its plain 148-byte form.
WindowsVersion QueryWindowsVersion();
// The program's own command line after its program name.
std::string ProgramArguments();
// Dispatches the thread's messages until the quit message.
void RunMessageLoop();
