#include "common/windows_version.h"

#include <windows.h>

#include "common/command_text.h"

static_assert(sizeof(OSVERSIONINFOA) == 148, "the plain OSVERSIONINFOA form");

WindowsVersion QueryWindowsVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    WindowsVersion version;
    if (GetVersionExA(&info)) {
        version.major = info.dwMajorVersion;
        version.minor = info.dwMinorVersion;
        version.platform = info.dwPlatformId;
    }
    return version;
}

std::string ProgramArguments() {
    const char* full = GetCommandLineA();
    return CommandTextAfterProgramName(full ? full : "");
}

void RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
