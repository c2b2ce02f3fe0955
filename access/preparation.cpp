#include "access/preparation.h"

#include <windows.h>

#include <vector>

#include "access/discovery.h"
#include "access/generations.h"
#include "access/repair.h"
#include "access/trusted_locations.h"
#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/log.h"
#include "common/system_library.h"
#include "permissions/tool_launch.h"
#include "registry/registry_access.h"
#include "registry/snapshot.h"

namespace {

constexpr const char* kAccessTypeLibPath = "TypeLib\\{4AFFC9A0-5F99-101B-AF4E-00AA003F0F07}\\9.0\\0\\win32";
constexpr const char* kOfficeTypeLib = "TypeLib\\{2DF8D04C-5BFA-101B-BDE5-00AA0044DE52}\\";

void SetLanguage(const LauncherContext& ctx, const AccessGeneration& generation) {
    if (ctx.nLangCode < 1) return;
    const std::string key = std::string("Software\\Microsoft\\Office\\") + generation.officeVersion +
                            "\\Common\\LanguageResources";
    Log(std::to_string(generation.year) + " - LangCode set to: ", std::to_string(ctx.nLangCode));
    WriteRegDword(HKEY_CURRENT_USER, key, "UILanguage", std::uint32_t(ctx.nLangCode));
    WriteRegDword(HKEY_CURRENT_USER, key, "HelpLanguage", std::uint32_t(ctx.nLangCode));
    WriteRegString(HKEY_CURRENT_USER, key, "FollowSystemUI", "Off", true);
}

// Macro security for 2003 (remembered, then lowered for the run) and whether
// Access ignores DDE requests, from the ProgID .mdb files open with.
void PrepareSecurityTail(LauncherContext& ctx) {
    if (PreparedForUserAlone(ctx.nAccessVersion)) return;  // the 10.0 DDE setting is not theirs
    if (ctx.nAccessVersion == 2003) {
        const char* security = "Software\\Microsoft\\Office\\11.0\\Access\\Security";
        if (ReadRegDword(HKEY_CURRENT_USER, security, "Level", ctx.nSavedSecurityLevel) != 0) {
            ctx.nSavedSecurityLevel = 2;
        }
        WriteRegDword(HKEY_CURRENT_USER, security, "Level", 1);
        WriteRegDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\11.0\\Access\\Settings", "Ignore DDE Requests",
                      ctx.strMdbDefault == "Access.Application.11" ? 0 : 1);
    } else {
        WriteRegDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\10.0\\Access\\Settings", "Ignore DDE Requests",
                      ctx.strMdbDefault == "Access.Application.10" ? 0 : 1);
    }
}

// 2013 and later: only what a database of the 2002 era needs, all for the
// user alone and all put back: CurVer in the user's classes (which the
// merged classes root prefers for the user's processes), the database's
// folder as a trusted location, the first-run opt-in.
void PrepareForUserAlone(LauncherContext& ctx, const AccessGeneration& generation) {
    ctx.strNewCurVer = generation.progId;
    WriteRegString(HKEY_CURRENT_USER, kUserCurVerKey, "", ctx.strNewCurVer, true);
    AddTrustedLocationForUser(ctx, generation);
    WriteRegDword(HKEY_CURRENT_USER,
                  std::string("Software\\Microsoft\\Office\\") + generation.officeVersion + "\\Common\\General",
                  "ShownFirstRunOptIn", 1);
}

}  // namespace

void PrepareAccessRegistryHead(LauncherContext& ctx) {
    // Machine-wide and for Access up to 2003: not for a launch of 2013 or later.
    if (PreparedForUserAlone(ctx.nAccessVersion)) return;
    ctx.strCommonFilesDir = GetCommonFilesDir();
    for (const char* format : {"GIF", "JPEG", "PICT", "TIFF"}) {
        WriteRegString(HKEY_CURRENT_USER,
                       std::string("Software\\Microsoft\\Shared Tools\\Graphics Filters\\Import\\") + format + "\\Options",
                       "ShowProgressDialog", "No", true);
    }
    WriteRegDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\9.0\\Access", "UserData", 1);
    for (const char* progId : {"Access.Application.8", "Access.Application.9", "Access.Application.10",
                               "Access.Application.11"}) {
        DeleteClassesTree(std::string(progId) + "\\shell\\open\\ddeexec");
    }
}

void PrepareAccessVersionRegistration(LauncherContext& ctx) {
    ReadRegString(HKEY_CLASSES_ROOT, "Access.Application\\CurVer", "", ctx.strOrigCurVer);
    Log("Access.Application\\CurVer = ", ctx.strOrigCurVer);
    if (ctx.strTitleBar.empty()) ctx.strTitleBar = "The application";
    ctx.strRegistryErrorPrompt = ctx.strTitleBar + " has encountered an error writing to the registry.\n\n" +
                                 ctx.strTitleBar +
                                 " will not run properly until the registry permissions are reset.\n\n"
                                 "Do you want to repair the registry permissions now?";
}

void PrepareAccessGenerationBlock(LauncherContext& ctx) {
    const AccessGeneration* generation = GenerationOf(ctx.nAccessVersion);
    if (generation && generation->forUserAlone) {
        PrepareForUserAlone(ctx, *generation);
    } else if (generation) {
        const int year = generation->year;
        const std::string folder = InstallFolderOf(ctx, year);
        const bool ace = year == 2007 || year == 2010;
        if (ace) SetLanguage(ctx, *generation);
        if (generation->lastAccessInstall) {
            WriteRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Office\\Common", "LastAccessInstall",
                          std::uint32_t(generation->lastAccessInstall));
        }
        if (ace) RegisterAceCorePath(ctx.strCommonFilesDir, year);
        CheckAccessObjectLibrary(ctx, std::to_string(year), folder);
        ctx.strNewCurVer = generation->progId;
        WriteRegString(HKEY_CLASSES_ROOT, "Access.Application\\CurVer", "", ctx.strNewCurVer, true);
        if (generation->officeTypeLibVersion) {
            RepairOfficeObjectLibrary(ctx, generation->officeTypeLibVersion,
                                      std::string("\\Microsoft Shared\\") + generation->sharedFolder + "\\mso.dll",
                                      std::string("Microsoft Office ") + generation->officeVersion + " Object Library");
        }
        if (year == 2007) AddTrustedLocations2007(ctx);
        if (year == 2010) {
            AddTrustedLocation2010(ctx);
            WriteRegDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\14.0\\Common\\General", "ShownFirstRunOptIn", 1);
        }
        if (year == 2003 || year == 2007) SetHtmlEditCommands(folder);
        if (ace) {
            RepairAccessComRegistrations(folder,
                                         ctx.strCommonFilesDir + "\\Microsoft Shared\\" + generation->sharedFolder);
        }
    }
    PrepareSecurityTail(ctx);
}

std::string ReadAccessObjectLibraryPath() {
    std::string path;
    ReadRegString(HKEY_CLASSES_ROOT, kAccessTypeLibPath, "", path);
    return path;
}

bool RegisterTypeLibraryFile(const std::string& path) {
    wchar_t wide[2048];
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, 2048) == 0) return false;
    UniqueCom<ITypeLib> library;
    if (FAILED(LoadTypeLibSystem(wide, library.receive())) || !library) return false;
    return SUCCEEDED(RegisterTypeLibSystem(library.get(), wide));
}

void CheckAccessObjectLibrary(const LauncherContext& ctx, const std::string& generation, const std::string& folder) {
    const std::string target = folder + "\\MSACC.OLB";
    std::string current = ReadAccessObjectLibraryPath();
    Log(generation + " - current MSACCOLB Path is: ", current);
    if (EqualsIgnoringAsciiCase(current, target)) return;
    Log(generation + " - need to set MSACCOLB Path to: ", target);
    RegisterTypeLibraryFile(target);
    current = ReadAccessObjectLibraryPath();
    if (EqualsIgnoringAsciiCase(current, target)) return;
    Log(generation + " - error setting MSACCOLB Path to: ", target);
    Log("MSACCOLB Path still set to: ", current);
    if (ctx.os.bIsWin9x) return;
    if (MessageBoxA(nullptr, ctx.strRegistryErrorPrompt.c_str(), "Registry Error", MB_YESNO | MB_ICONEXCLAMATION) !=
        IDYES) {
        return;
    }
    RunTarnwickPermissions(1);
    RegisterTypeLibraryFile(target);
    Log(generation + " - After RunTarnwickPermissions. Register MSACCOLB to: ", target);
    Log("MSACCOLB Path now set to: ", ReadAccessObjectLibraryPath());
}

void RepairOfficeObjectLibrary(const LauncherContext& ctx, const std::string& version, const std::string& file,
                               const std::string& name) {
    const std::string key = kOfficeTypeLib + version;
    std::string registered;
    ReadRegString(HKEY_CLASSES_ROOT, key + "\\0\\win32", "", registered);
    if (!registered.empty()) return;
    const std::string path = ctx.strCommonFilesDir + file;
    if (!FileExists(path)) return;
    WriteRegString(HKEY_CLASSES_ROOT, key, "", name, true);
    WriteRegString(HKEY_CLASSES_ROOT, key + "\\0\\win32", "", path, true);
    UniqueKey flags;
    RegCreateKeyExA(HKEY_CLASSES_ROOT, (key + "\\Flags").c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kKeyReadWrite,
                    nullptr, flags.receive(), nullptr);
}
