#include "launcher/os_version.h"

#include <windows.h>

#include "common/windows_version.h"

OsVersionFlags QueryOsVersionFlags() {
    OsVersionFlags flags;
    const WindowsVersion version = QueryWindowsVersion();
    if (version.major != 0) {
        flags.bIsNT4 = version.major == 4;
        flags.bIsVistaOrLater = version.major >= 6;
        flags.bIsWin9x = version.platform == VER_PLATFORM_WIN32_WINDOWS;
    }
    return flags;
}
