#include "access/trusted_locations.h"

#include <windows.h>

#include "access/discovery.h"
#include "access/generations.h"
#include "access/text_paths.h"
#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/log.h"
#include "common/system_library.h"
#include "registry/registry_access.h"
#include "registry/snapshot.h"

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

// The key of the container's location whose "Path" is the folder (ignoring
// case and a trailing backslash), or empty.
std::string FindTrustedLocation(const std::string& container, const std::string& wanted) {
    const auto names = EnumSubkeyNames(HKEY_CURRENT_USER, container);
    if (!names) return {};
    for (const auto& name : *names) {
        std::string path;
        if (name.empty() || ReadRegString(HKEY_CURRENT_USER, container + "\\" + name, "Path", path) != 0) continue;
        if (path.empty()) continue;  // an empty path never matches
        if (EqualsIgnoringAsciiCase(WithTrailingBackslash(path), wanted)) return container + "\\" + name;
    }
    return {};
}

void SetLocationValue(const std::string& target, const char* name, DWORD type, const BYTE* data, DWORD size) {
    UniqueKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, target.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kLocationRights,
                        nullptr, key.receive(), nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key.get(), name, 0, type, data, size);
    }
}

// A new location gets its "Path"; an existing one keeps it.
void MarkTrustedLocation(const std::string& target, const std::string& wanted, bool writePath, int allowSubfolders) {
    if (writePath) {
        SetLocationValue(target, "Path", REG_SZ, reinterpret_cast<const BYTE*>(wanted.c_str()), DWORD(wanted.size() + 1));
    }
    if (allowSubfolders) {
        const DWORD one = 1;
        SetLocationValue(target, "AllowSubfolders", REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    }
}

}  // namespace

int SetTrustedFolderLocation(const std::string& folder, int allowSubfolders, int generation) {
    const std::string container = TrustedLocationsKey(generation == 2007 ? "12.0" : "14.0");
    Log("SetTrustedFolderLocation: ", container);
    const std::string wanted = WithTrailingBackslash(folder);
    std::string target = FindTrustedLocation(container, wanted);
    const bool found = !target.empty();
    if (!found) target = container + "\\" + NewLocationName();
    MarkTrustedLocation(target, wanted, !found, allowSubfolders);
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

void PlanTrustedLocationForUser(LauncherContext& ctx) {
    const AccessGeneration* generation = GenerationOf(ctx.nAccessVersion);
    if (!generation || !generation->forUserAlone) return;
    ctx.strDBDirectory = DatabaseDirectory(ctx);
    if (ctx.strDBDirectory.empty()) return;
    const std::string container = TrustedLocationsKey(generation->trustedLocationsVersion);
    ctx.strTrustedLocationKey = FindTrustedLocation(container, WithTrailingBackslash(ctx.strDBDirectory));
    ctx.bTrustedLocationExists = !ctx.strTrustedLocationKey.empty();
    if (!ctx.bTrustedLocationExists) ctx.strTrustedLocationKey = container + "\\" + NewLocationName();
}

void AddTrustedLocationForUser(const LauncherContext& ctx, const AccessGeneration& generation) {
    if (ctx.strTrustedLocationKey.empty()) return;
    Log(std::to_string(generation.year) + " - strDBDirectory: ", ctx.strDBDirectory);
    Log("Calling SetTrustedFolderLocation: ");
    Log("SetTrustedFolderLocation: ", TrustedLocationsKey(generation.trustedLocationsVersion));
    MarkTrustedLocation(ctx.strTrustedLocationKey, WithTrailingBackslash(ctx.strDBDirectory),
                        !ctx.bTrustedLocationExists, ctx.bSubfolders);
}
