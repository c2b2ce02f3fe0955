// What every program of the system asks of Windows when it starts: which
// Windows this is, and the text it was started with.
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
