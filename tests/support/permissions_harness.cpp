#include "tests/support/permissions_harness.h"

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <sstream>

#include "common/handles.h"
#include "common/registry_roots.h"
#include "registry/registry_access.h"
#include "tests/support/dialog_search.h"
#include "tests/support/harness.h"

namespace {

// A key's security is set and read through a handle opened in the view
// the permissions tool and the launcher use for it (common/registry_view.h):
// Windows Installer's keys in the 64-bit one under WOW64.
UniqueKey OpenForSecurity(HKEY root, const std::string& key, REGSAM rights) {
    UniqueKey opened;
    RegOpenKeyExA(root, key.c_str(), 0, rights | RegistryViewFor(root, key), opened.receive());
    return opened;
}

bool SetAccessList(HKEY root, const std::string& key, const char* sddl, SECURITY_INFORMATION protection) {
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor.receive(), nullptr)) {
        return false;
    }
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted);
    const UniqueKey opened = OpenForSecurity(root, key, WRITE_DAC);
    return opened && SetSecurityInfo(opened.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | protection, nullptr,
                                     nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

// The running tool: its process id and its parent's, or 0.
DWORD FindToolProcess(DWORD& parent) {
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot.get(), &entry); more && !found;
         more = Process32Next(snapshot.get(), &entry)) {
        if (_strnicmp(entry.szExeFile, "TarnwickPermissions", 19) == 0) {
            found = entry.th32ProcessID;
            parent = entry.th32ParentProcessID;
        }
    }
    return found;
}

}  // namespace

std::string SecurityObjectName(HKEY root, const std::string& key) {
    const RegistryRootNames* names = FindRootByName(RootKeyName(root));
    return names ? std::string(names->objectName) + "\\" + key : key;
}

void PrintTo(const AceView& ace, std::ostream* out) {
    *out << "(" << ace.type << ";flags " << ace.flags << ";" << std::hex << ace.mask << std::dec << ";" << ace.sid << ")";
}

::testing::AssertionResult SeedKey(HKEY root, const std::string& key, const std::string& sddl) {
    UniqueKey opened;
    const LONG created =
        RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | RegistryViewFor(root, key), nullptr,
                        opened.receive(), nullptr);
    if (created != ERROR_SUCCESS) {
        return ::testing::AssertionFailure() << SecurityObjectName(root, key) << " cannot be created: error " << created;
    }
    opened.reset();
    if (!SetAccessList(root, key, sddl.c_str(), PROTECTED_DACL_SECURITY_INFORMATION)) {
        return ::testing::AssertionFailure() << SecurityObjectName(root, key) << " refused the access list " << sddl;
    }
    return ::testing::AssertionSuccess();
}

void UnlockKey(HKEY root, const std::string& key) {
    SetAccessList(root, key, "D:(A;CI;KA;;;WD)", UNPROTECTED_DACL_SECURITY_INFORMATION);
}

LONG OpenForWriting(HKEY root, const std::string& key) {
    UniqueKey opened;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE | RegistryViewFor(root, key), opened.receive());
}

std::vector<AceView> KeyAces(HKEY root, const std::string& key) {
    std::vector<AceView> aces;
    PACL list = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    const UniqueKey opened = OpenForSecurity(root, key, READ_CONTROL);
    if (!opened || GetSecurityInfo(opened.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                                   nullptr, descriptor.receive()) != ERROR_SUCCESS) {
        return {{"unreadable", 0, 0, ""}};
    }
    ACL_SIZE_INFORMATION size = {};
    if (list) GetAclInformation(list, &size, sizeof size, AclSizeInformation);
    for (DWORD i = 0; list && i < size.AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(list, i, &raw) || (static_cast<ACE_HEADER*>(raw)->AceFlags & INHERITED_ACE)) continue;
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);  // denied entries share the layout
        AceView view{ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "A" : "D", ace->Header.AceFlags, ace->Mask, ""};
        UniqueLocal<char*> text;
        if (ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), text.receive())) view.sid = text.get();
        aces.push_back(view);
    }
    return aces;
}

ToolSighting RunTarnwickWatchingTool(const std::string& arguments) {
    ToolSighting seen;
    RunningProcess launcher = StartTarnwick(arguments);
    DWORD toolPid = 0;
    for (const DWORD start = GetTickCount(); launcher.process && GetTickCount() - start < 60000; Sleep(2)) {
        const bool launcherEnded = WaitForSingleObject(launcher.process.get(), 0) == WAIT_OBJECT_0;
        DWORD parent = 0;
        if (!toolPid && (toolPid = FindToolProcess(parent)) != 0) {
            // The file is looked at at once: the tool waits 200 ms before it works.
            seen.startedByLauncher = parent == launcher.pid;
            const UniqueHandle tool(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, toolPid));
            char path[MAX_PATH] = {};
            DWORD size = MAX_PATH;
            if (tool && QueryFullProcessImageNameA(tool.get(), 0, path, &size)) seen.toolPath = path;
            const UniqueFile writer(CreateFileA(path, GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            seen.writeOpenError = writer ? 0 : GetLastError();
            seen.fileWasTheTool = ReadFileBytes(path) == ReadFileBytes(BinDir() + "TarnwickPermissions.exe");
            seen.deleteError = DeleteFileA(path) ? 0 : GetLastError();
        }
        const HWND dialog = toolPid && !seen.dialogHadProgressBar ? FindVisibleDialog(toolPid) : nullptr;
        if (dialog) {
            char caption[256] = {};
            GetWindowTextA(dialog, caption, sizeof caption);
            seen.dialogCaption = caption;
            HWND bar = GetDlgItem(dialog, 1000);
            seen.dialogHadProgressBar = bar && ClassOf(bar) == "msctls_progress32";
        }
        if (launcherEnded) break;
    }
    seen.launcherExit = WaitForExit(launcher, 1000);
    return seen;
}

ToolRun RunToolWithResponder(const std::string& parameters) {
    const std::string record = TempDir() + "tool-responder.txt";
    DeleteFileA(record.c_str());
    std::string commandLine = "\"" + BinDir() + "TarnwickPermissions.exe\" " + parameters;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ToolRun run;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &info)) {
        return run;
    }
    ProcessInformation started(info);
    RunningProcess tool(std::move(started.process), started.processId);
    // The responder records the tool's first dialog, presses nothing, and
    // ends with the tool when there is none; it is given time to start
    // watching before the tool runs.
    RunningProcess responder = StartResponder(started.processId, "none", record, 60000, 0);
    Sleep(1500);
    ResumeThread(started.thread.get());
    run.exitCode = WaitForExit(tool, 60000);
    WaitForExit(responder, 10000);
    std::istringstream lines(ReadFileBytes(record));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("caption=", 0) == 0 && run.caption.empty()) run.caption = line.substr(8);
        if (line.rfind("count=", 0) == 0) run.dialogCount = std::stoi(line.substr(6));
    }
    return run;
}

std::vector<std::string> ToolFilesInTemp() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((TempDir() + "TarnwickPermissions*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}
