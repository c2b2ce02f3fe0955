#include "access/discovery.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "access/generations.h"
#include "access/text_paths.h"
#include "common/ascii_text.h"
#include "common/handles.h"
#include "common/log.h"
#include "common/system_library.h"
#include "registry/registry_access.h"
#include "registry/snapshot.h"

namespace {

constexpr const char* kInstallerComponents = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Components";
constexpr const char* kInstallerUserData = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";

// The packed-code value of the component key, or else its first value when
// that is a string.
bool ReadRuntimeCandidate(const std::string& componentKey, std::string& location) {
    if (ReadRegString(HKEY_LOCAL_MACHINE, componentKey, kRuntimeValueName, location) == 0 && !location.empty()) {
        return true;
    }
    BYTE data[1024];
    DWORD type = 0, size = sizeof data;
    std::string name;
    if (ReadFirstMachineValue(componentKey, name, type, data, size) != 0 || type != REG_SZ) return false;
    // Bounded by what was read, whether or not the data carries its terminator.
    const auto* text = reinterpret_cast<const char*>(data);
    location.assign(text, strnlen(text, size));
    return true;
}

void ShowNotFoundWarning(int generation) {
    const std::string g = std::to_string(generation);
    const std::string text = "Unable to find the Access " + g + " runtime.\n" + "The most likely cause is that the " + g +
                             " Runtime installer failed to install properly.";
    MessageBoxA(nullptr, text.c_str(), "Tarnwick Warning", MB_OK | MB_ICONEXCLAMATION);
}

// A stored command line of any length: a long database path with many
// switches must not be dropped (Access would open without its database). An
// expandable one is expanded, as the shell would for a shortcut.
std::uint32_t ReadStoredText(HKEY root, const std::string& keyPath, const std::string& valueName, std::string& out) {
    UniqueKey key;
    if (const auto rc = OpenKey(root, keyPath, kKeyRead, key)) return rc;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    std::string text;
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        text.assign(size + 1, '\0');  // room for a terminator the value may lack
        rc = RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
        if (rc == ERROR_SUCCESS) break;
    }
    if (rc != ERROR_SUCCESS) return std::uint32_t(rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    text.resize(std::min<std::size_t>(size, text.size()));
    text.resize(std::strlen(text.c_str()));
    if (type == REG_EXPAND_SZ) {
        std::string expanded(text.size() + 1, '\0');
        DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), DWORD(expanded.size()));
        if (needed > expanded.size()) {
            expanded.assign(needed, '\0');
            needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), DWORD(expanded.size()));
        }
        if (needed != 0 && needed <= expanded.size()) {
            expanded.resize(needed - 1);
            Log("Stored command line expanded: ", expanded);
            text = expanded;
        }
    }
    out = std::move(text);
    return 0;
}

// A 32-bit launcher reads and prepares the 32-bit registry view, which a
// 64-bit Office does not read (and a 64-bit test build the other way round):
// such an Access is started all the same, with a line that says why it may
// not find what it needs.
void WarnOfOtherProgramWidth(int year, const std::string& program) {
    constexpr int kOwnBits = sizeof(void*) * 8;
    const int bits = ProgramBits(program);
    if (bits == 0 || bits == kOwnBits) return;
    Log("Access " + std::to_string(year) + " is a " + std::to_string(bits) + "-bit program and this launcher a " +
        std::to_string(kOwnBits) + "-bit one: the registry it prepares is not the one that Access reads. "
        "Tarnwick supports 32-bit Office only.");
}

// An Office installed by Click-to-Run (Microsoft 365, Office 2013 and later)
// keeps its configuration in the 64-bit view on 64-bit Windows, whatever its
// own width. Named in the log when the chosen Access is not its own, so that
// a reader knows which other Office was there.
void LogClickToRunOffice(const LauncherContext& ctx) {
    if (!bLogging) return;
    constexpr const char* kConfiguration = "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
    UniqueKey key;
    if (OpenKey(HKEY_LOCAL_MACHINE, kConfiguration, kKeyRead, key) != ERROR_SUCCESS) return;
    const auto text = [&key](const char* name) {
        char value[256] = {};
        DWORD size = sizeof value - 1, type = 0;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ||
            type != REG_SZ) {
            return std::string("unknown");
        }
        return std::string(value);
    };
    const std::string installation = text("InstallationPath");
    // Its programs lie below "root" (an older Office may share the folder above).
    if (installation != "unknown" && StartsWithIgnoringAsciiCase(ctx.strAccessExePath, installation + "\\root\\")) {
        return;
    }
    Log("Other Office found: ", "Click-to-Run " + text("VersionToReport") + " (" + text("Platform") + ")");
}

// An Access of 2013 or later as one way of installing it records it.
struct FoundEdition {
    std::string folder;  // as a shell command gives it
    std::string way;
    int bits = 0;
    bool runtime = false;
};

std::optional<FoundEdition> Usable(const std::string& exePath, std::string way, int bits, bool runtime) {
    if (exePath.empty() || !FileExists(exePath)) return std::nullopt;
    return FoundEdition{GetAccessFolderFromCommand(exePath), std::move(way), bits ? bits : ProgramBits(exePath),
                        runtime};
}

// The string values of a key (Windows Installer names a component's values
// by the products that share it).
std::vector<std::string> StringValuesOf(HKEY root, const std::string& keyPath) {
    std::vector<std::string> texts;
    UniqueKey key;
    if (OpenKey(root, keyPath, kKeyRead, key) != ERROR_SUCCESS) return texts;
    char name[1024];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        const LONG rc = RegEnumValueA(key.get(), i, name, &nameSize, nullptr, &type, data, &dataSize);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        if (type == REG_SZ) texts.emplace_back(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), dataSize));
    }
    return texts;
}

// The component of MSACCESS.EXE, 32-bit first, machine-wide and then per
// user, as for the 2002 runtime.
std::optional<FoundEdition> FindByInstallerComponent(const AccessGeneration& generation) {
    const auto users = EnumSubkeyNames(HKEY_LOCAL_MACHINE, kInstallerUserData);
    for (int i = 0; i < 2; ++i) {
        const std::string packed = PackedGuid(generation.installerComponents[i]);
        std::vector<std::string> keys = {std::string(kInstallerComponents) + "\\" + packed};
        for (const auto& user : users.value_or(std::vector<std::string>{})) {
            keys.push_back(std::string(kInstallerUserData) + "\\" + user + "\\Components\\" + packed);
        }
        for (const auto& key : keys) {
            for (std::string path : StringValuesOf(HKEY_LOCAL_MACHINE, key)) {
                std::replace(path.begin(), path.end(), '?', ':');
                if (path.size() < 13 || !EqualsIgnoringAsciiCase(path.substr(path.size() - 13), "\\MSACCESS.EXE")) continue;
                if (auto found = Usable(path, std::string("its Windows Installer component ") +
                                                  generation.installerComponents[i], i == 0 ? 32 : 64, false)) {
                    return found;
                }
            }
        }
    }
    return std::nullopt;
}

// Click-to-Run: MSACCESS.EXE below the configuration's InstallationPath,
// where a suite installed without Access has none.
std::optional<FoundEdition> FindByClickToRun(const AccessGeneration& generation) {
    std::string installation, platform, products;
    if (ReadRegString(HKEY_LOCAL_MACHINE, generation.clickToRunKey, "InstallationPath", installation) != 0) {
        return std::nullopt;
    }
    ReadRegString(HKEY_LOCAL_MACHINE, generation.clickToRunKey, "Platform", platform);
    ReadRegString(HKEY_LOCAL_MACHINE, generation.clickToRunKey, "ProductReleaseIds", products);
    bool runtime = false;
    for (const auto& product : SplitFields(products, ", ")) runtime = runtime || product == "AccessRuntimeRetail";
    const int bits = EqualsIgnoringAsciiCase(platform, "x64") ? 64 : EqualsIgnoringAsciiCase(platform, "x86") ? 32 : 0;
    return Usable(installation + "\\" + generation.clickToRunFolder + "\\MSACCESS.EXE",
                  std::string("Click-to-Run (") + generation.clickToRunKey + ")", bits, runtime);
}

// Access 2013 and later, by the first way that finds its MSACCESS.EXE: the
// shell open command of a full edition, the Windows Installer component (a
// full edition or the free runtime), Click-to-Run. Logged with the way and
// the width.
void FindNewerEdition(LauncherContext& ctx, const AccessGeneration& generation) {
    std::optional<FoundEdition> found;
    std::string command;
    if (ReadRegString(HKEY_CLASSES_ROOT, generation.commandKey, "", command) == 0 && !command.empty()) {
        const std::string folder = GetAccessFolderFromCommand(command);
        found = Usable(folder + "\\msaccess.exe", "its shell open command", 0, false);
    }
    if (!found) found = FindByInstallerComponent(generation);
    if (!found) found = FindByClickToRun(generation);
    if (!found) return;
    const std::string year = std::to_string(generation.year);
    InstallFolderOf(ctx, generation.year) = found->folder;
    Log("Access " + year + (found->runtime ? " Runtime found: " : " Full found: "), found->folder);
    Log(year + " - found through " + found->way + ", a " +
        (found->bits ? std::to_string(found->bits) + "-bit" : std::string("Windows")) + " program");
}

}  // namespace

void ReadMdbAssociation(LauncherContext& ctx) {
    ReadRegString(HKEY_CLASSES_ROOT, ".mdb", "", ctx.strMdbDefault);
    Log(".mdb default: ", ctx.strMdbDefault);
}

void GetFullAccessLocations(LauncherContext& ctx) {
    Log("Start of GetFullAccessLocations");
    for (const AccessGeneration& generation : kAccessGenerations) {
        if (generation.forUserAlone) continue;  // looked for only when none of these is there
        std::string command;
        if (ReadRegString(HKEY_CLASSES_ROOT, generation.commandKey, "", command) != 0 || command.empty()) continue;
        std::string& folder = InstallFolderOf(ctx, generation.year);
        folder = GetAccessFolderFromCommand(command);
        Log("Access " + std::to_string(generation.year) + " Full found: ", folder);
    }
}

std::string GetAccessRuntimeLocation() {
    const std::string target = std::to_string(kTargetAccessGeneration);
    Log("Beginning of GetAccessRuntimeLocation for Access ", target);
    std::vector<std::string> candidates = {std::string(kInstallerComponents) + "\\" + kRuntimeComponentKey};
    if (const auto users = EnumSubkeyNames(HKEY_LOCAL_MACHINE, kInstallerUserData)) {
        for (const auto& user : *users) {
            candidates.push_back(std::string(kInstallerUserData) + "\\" + user + "\\Components\\" + kRuntimeComponentKey);
        }
    }
    std::string location;
    for (const auto& candidate : candidates) {
        if (ReadRuntimeCandidate(candidate, location)) break;
        location.clear();
    }
    // Windows Installer records a drive's colon as "?" in component paths.
    for (char& c : location) {
        if (c == '?') c = ':';
    }
    Log("End of GetAccessRuntimeLocation for Access ", target);
    Log(location.empty() ? "\t\tRuntime location not found!" : "\t\tRuntime location: " + location);
    return location;
}

bool ChooseAccessExecutable(LauncherContext& ctx) {
    GetFullAccessLocations(ctx);
    ctx.strAccessExePath = GetAccessRuntimeLocation();
    const std::string target = std::to_string(kTargetAccessGeneration);
    if (!ctx.strAccessExePath.empty()) {
        if (FileExists(ctx.strAccessExePath)) {
            Log("The Access " + target + " runtime was found!");
            ctx.strAccess2002Path = GetAccessFolderFromCommand(ctx.strAccessExePath);
            Log("Setting strAccess2002Path to runtime path: ", ctx.strAccess2002Path);
            LogClickToRunOffice(ctx);
            return true;
        }
        Log(ctx.strAccessExePath, " does not exist.  Will try full version instead!");
        // A runtime that is recorded but missing must not be started: without
        // a full edition the user is told instead.
        ctx.strAccessExePath.clear();
    }
    Log("Don't have runtime, so trying full version");
    const auto chooseAmong = [&ctx](bool newer) {
        for (const AccessGeneration& generation : kAccessGenerations) {
            const std::string& folder = InstallFolderOf(ctx, generation.year);
            if (generation.forUserAlone != newer || folder.empty()) continue;
            const std::string candidate = folder + "\\msaccess.exe";
            if (!FileExists(candidate)) continue;
            ctx.strAccessExePath = candidate;
            ctx.nAccessVersion = generation.year;
            Log("Will use full version of " + std::to_string(generation.year) + ": ", ctx.strAccessExePath);
            // 2013 and later are prepared where every width reads.
            if (!newer) WarnOfOtherProgramWidth(generation.year, candidate);
            return true;
        }
        return false;
    };
    // 2013 and later come after the others, and are looked for only when
    // none of those is there: with one of them the launch is as it always was.
    if (!chooseAmong(false)) {
        for (const AccessGeneration& generation : kAccessGenerations) {
            if (generation.forUserAlone) FindNewerEdition(ctx, generation);
        }
        chooseAmong(true);
    }
    if (ctx.strAccessExePath.empty()) {
        ShowNotFoundWarning(ctx.nAccessVersion);
        return false;
    }
    LogClickToRunOffice(ctx);
    return true;
}

std::uint32_t ReadStoredCommandLine(const std::string& keyText, const std::string& valueNameText,
                                    std::string& commandLine, std::string& titleBar) {
    const auto [root, keyPath] = SplitRootPrefix(StripQuotes(keyText));
    const auto result = ReadStoredText(root, keyPath, StripQuotes(valueNameText), commandLine);
    if (result == 0) ReadRegString(HKEY_LOCAL_MACHINE, keyPath + "\\Run-Time Options", "TitleBar", titleBar);
    return result;
}

std::optional<std::vector<std::string>> EnumSubkeyNames(HKEY root, const std::string& keyPath) {
    UniqueKey key;
    if (OpenKey(root, keyPath, kKeyRead, key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char name[1024];
    DWORD count = 0;
    for (DWORD size = sizeof name; RegEnumKeyExA(key.get(), count, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                                   ERROR_SUCCESS;
         size = sizeof name) {
        ++count;
    }
    std::vector<std::string> names(count);
    for (DWORD i = 0; i < count; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            names[i].assign(name, size);
        }
    }
    return names;
}

int FileExists(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 1 : 0;
}

int ProgramBits(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    const auto readAt = [&](LONG offset, void* out, DWORD size) {
        DWORD read = 0;
        return SetFilePointer(file.get(), offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
               ReadFile(file.get(), out, size, &read, nullptr) && read == size;
    };
    IMAGE_DOS_HEADER dos = {};
    if (!readAt(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return 0;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER file;
    } header = {};
    if (!readAt(dos.e_lfanew, &header, sizeof header) || header.signature != IMAGE_NT_SIGNATURE) return 0;
    switch (header.file.Machine) {
    case IMAGE_FILE_MACHINE_I386: return 32;
    case IMAGE_FILE_MACHINE_AMD64: return 64;
    default: return 0;
    }
}

std::string GetCommonFilesDir() {
    char shellFolder[MAX_PATH] = {};
    if (ShellFolderPath(CSIDL_PROGRAM_FILES_COMMON, shellFolder)) return shellFolder;
    std::string folder;
    if (ReadRegString(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir", folder) != 0) {
        return {};
    }
    return folder.substr(0, MAX_PATH - 1);
}
