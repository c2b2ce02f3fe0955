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

bool IsClickToRunPath(HKEY root, const std::string& keyPath) {
    if (root != HKEY_LOCAL_MACHINE) return false;
    for (std::string_view key : {"SOFTWARE\\Microsoft\\Office\\ClickToRun", "SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun"}) {
        if (StartsWithIgnoringAsciiCase(keyPath, key) && (keyPath.size() == key.size() || keyPath[key.size()] == '\\')) {
            return true;
        }
    }
    return false;
}

REGSAM RegistryViewFor(HKEY root, const std::string& keyPath) {
    return (IsWindowsInstallerDataPath(root, keyPath) || IsClickToRunPath(root, keyPath)) && RunsUnderWow64()
               ? KEY_WOW64_64KEY
               : 0;
}
