#include "access/discovery.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "access/generations.h"
#include "access/text_paths.h"
#include "common/handles.h"
#include "common/system_library.h"
#include "launcher/log.h"
#include "registry/registry_access.h"

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
// own width. Named in the log, so that a reader knows which other Office was
// there; its registrations are not the ones this launcher prepares.
void LogClickToRunOffice() {
    if (!bLogging) return;
    constexpr const char* kConfiguration = "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfiguration, 0, KEY_READ | KEY_WOW64_64KEY, key.receive())) return;
    const auto text = [&key](const char* name) {
        char value[256] = {};
        DWORD size = sizeof value - 1, type = 0;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ||
            type != REG_SZ) {
            return std::string("unknown");
        }
        return std::string(value);
    };
    Log("Other Office found: ", "Click-to-Run " + text("VersionToReport") + " (" + text("Platform") + ")");
}

}  // namespace

void ReadMdbAssociation(LauncherContext& ctx) {
    ReadRegString(HKEY_CLASSES_ROOT, ".mdb", "", ctx.strMdbDefault);
    Log(".mdb default: ", ctx.strMdbDefault);
}

void GetFullAccessLocations(LauncherContext& ctx) {
    Log("Start of GetFullAccessLocations");
    for (const AccessGeneration& generation : kAccessGenerations) {
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
            LogClickToRunOffice();
            return true;
        }
        Log(ctx.strAccessExePath, " does not exist.  Will try full version instead!");
        // A runtime that is recorded but missing must not be started: without
        // a full edition the user is told instead.
        ctx.strAccessExePath.clear();
    }
    Log("Don't have runtime, so trying full version");
    for (const AccessGeneration& generation : kAccessGenerations) {
        const std::string& folder = InstallFolderOf(ctx, generation.year);
        if (folder.empty()) continue;
        const std::string candidate = folder + "\\msaccess.exe";
        if (FileExists(candidate)) {
            ctx.strAccessExePath = candidate;
            ctx.nAccessVersion = generation.year;
            Log("Will use full version of " + std::to_string(generation.year) + ": ", ctx.strAccessExePath);
            WarnOfOtherProgramWidth(generation.year, candidate);
            break;
        }
    }
    if (ctx.strAccessExePath.empty()) {
        ShowNotFoundWarning(ctx.nAccessVersion);
        return false;
    }
    LogClickToRunOffice();
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
