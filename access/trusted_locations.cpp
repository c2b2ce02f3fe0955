#include "access/trusted_locations.h"

#include <windows.h>

#include "access/discovery.h"
#include "access/text_paths.h"
#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/system_library.h"
#include "launcher/log.h"
#include "registry/registry_access.h"

namespace {

constexpr DWORD kLocationRights = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

std::string NewLocationName() {
    GUID guid = {};
    CreateGuidSystem(&guid);
    wchar_t wide[256] = {};
    StringFromGuidSystem(guid, wide, 256);
    char narrow[256] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    narrow[sizeof narrow - 1] = '\0';
    return narrow[0] ? narrow : "TrustedFolder999";
}

std::string DatabaseDirectory(const LauncherContext& ctx) {
    return GetFolderOfPath(GetDatabasePath(ctx.strAccessCmdLine));
}

}  // namespace

int SetTrustedFolderLocation(const std::string& folder, int allowSubfolders, int generation) {
    const std::string container = std::string("Software\\Microsoft\\Office\\") + (generation == 2007 ? "12.0" : "14.0") +
                                  "\\Access\\Security\\Trusted Locations";
    Log("SetTrustedFolderLocation: ", container);
    const std::string wanted = WithTrailingBackslash(folder);
    std::string target;
    if (const auto names = EnumSubkeyNames(HKEY_CURRENT_USER, container)) {
        for (const auto& name : *names) {
            std::string path;
            if (name.empty() || ReadRegString(HKEY_CURRENT_USER, container + "\\" + name, "Path", path) != 0) continue;
            if (path.empty()) continue;  // an empty path never matches
            if (EqualsIgnoringAsciiCase(WithTrailingBackslash(path), wanted)) {
                target = container + "\\" + name;
                break;
            }
        }
    }
    if (target.empty()) {
        target = container + "\\" + NewLocationName();
        UniqueKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, target.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kLocationRights,
                            nullptr, key.receive(), nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key.get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(wanted.c_str()),
                           DWORD(wanted.size() + 1));
        }
    }
    if (allowSubfolders) {
        UniqueKey key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, target.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kLocationRights,
                            nullptr, key.receive(), nullptr) == ERROR_SUCCESS) {
            const DWORD one = 1;
            RegSetValueExA(key.get(), "AllowSubfolders", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        }
    }
    return 1;
}

void AddTrustedLocations2007(LauncherContext& ctx) {
    ctx.strDBDirectory = DatabaseDirectory(ctx);
    if (!ctx.strDBDirectory.empty()) SetTrustedFolderLocation(ctx.strDBDirectory, ctx.bSubfolders, 2007);
    if (FileExists(ctx.strAccess2007Path + "\\Utility.accda")) {
        SetTrustedFolderLocation(ToLowerAscii(ctx.strAccess2007Path), ctx.bSubfolders, 2007);
    }
}

void AddTrustedLocation2010(LauncherContext& ctx) {
    ctx.strDBDirectory = DatabaseDirectory(ctx);
    if (ctx.strDBDirectory.empty()) return;
    Log("2010 - strDBDirectory: ", ctx.strDBDirectory);
    Log("Calling SetTrustedFolderLocation: ");
    SetTrustedFolderLocation(ctx.strDBDirectory, ctx.bSubfolders, 2010);
}
