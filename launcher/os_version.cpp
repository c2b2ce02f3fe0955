#include "launcher/os_version.h"

#include <windows.h>

static_assert(sizeof(OSVERSIONINFOA) == 148, "the plain OSVERSIONINFOA form");

namespace {
bool QueryVersion(OSVERSIONINFOA& info) {
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;  // 148 bytes: the plain form
    return GetVersionExA(&info) != FALSE;
}
}  // namespace

OsVersionFlags QueryOsVersionFlags() {
    OsVersionFlags flags;
    OSVERSIONINFOA info;
    if (QueryVersion(info)) {
        flags.bIsNT4 = info.dwMajorVersion == 4;
        flags.bIsVistaOrLater = info.dwMajorVersion >= 6;
        flags.bIsWin9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    }
    return flags;
}

unsigned QueryWindowsMajorVersion() {
    OSVERSIONINFOA info;
    return QueryVersion(info) ? info.dwMajorVersion : 0;
}
