#include "common/registry_view.h"

#include <string_view>

#include "common/ascii_text.h"
#include "common/system_library.h"

// IsWow64Process is missing before Windows XP SP2, where no program runs
// under WOW64.
bool RunsUnderWow64() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
    static const bool wow64 = [] {
        const auto isWow64 = SystemFunction<IsWow64ProcessFunction>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
        BOOL result = FALSE;
        return isWow64 && isWow64(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

bool IsWindowsInstallerDataPath(HKEY root, const std::string& keyPath) {
    constexpr std::string_view kInstallerData = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer";
    return root == HKEY_LOCAL_MACHINE && StartsWithIgnoringAsciiCase(keyPath, kInstallerData) &&
           (keyPath.size() == kInstallerData.size() || keyPath[kInstallerData.size()] == '\\');
}

REGSAM RegistryViewFor(HKEY root, const std::string& keyPath) {
    return IsWindowsInstallerDataPath(root, keyPath) && RunsUnderWow64() ? KEY_WOW64_64KEY : 0;
}
