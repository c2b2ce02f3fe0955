#include "tests/permissions/permissions_harness.h"

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <sstream>

#include "tests/support/harness.h"

namespace {

std::string NamedObject(HKEY root, const std::string& key) {
    return (root == HKEY_LOCAL_MACHINE ? "MACHINE\\" : "CURRENT_USER\\") + key;
}

bool SetAccessList(HKEY root, const std::string& key, const char* sddl, SECURITY_INFORMATION protection) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::string name = NamedObject(root, key);
    const DWORD error = SetNamedSecurityInfoA(name.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | protection,
                                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return error == ERROR_SUCCESS;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct DialogSearch {
    DWORD pid = 0;
    HWND dialog = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    search->dialog = window;
    return FALSE;
}

// The running tool: its process id and its parent's, or 0.
DWORD FindToolProcess(DWORD& parent) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        if (_strnicmp(entry.szExeFile, "TarnwickPermissions", 19) == 0) {
            found = entry.th32ProcessID;
            parent = entry.th32ParentProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace

void PrintTo(const AceView& ace, std::ostream* out) {
    *out << "(" << ace.type << ";flags " << ace.flags << ";" << std::hex << ace.mask << std::dec << ";" << ace.sid << ")";
}

bool SeedKey(HKEY root, const std::string& key, const std::string& sddl) {
    HKEY opened;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return SetAccessList(root, key, sddl.c_str(), PROTECTED_DACL_SECURITY_INFORMATION);
}

void UnlockKey(HKEY root, const std::string& key) {
    SetAccessList(root, key, "D:(A;CI;KA;;;WD)", UNPROTECTED_DACL_SECURITY_INFORMATION);
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

LONG OpenForWriting(HKEY root, const std::string& key) {
    HKEY opened;
    const LONG result = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE, &opened);
    if (result == ERROR_SUCCESS) RegCloseKey(opened);
    return result;
}

std::vector<AceView> KeyAces(HKEY root, const std::string& key) {
    std::vector<AceView> aces;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(NamedObject(root, key).c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {{"unreadable", 0, 0, ""}};
    }
    ACL_SIZE_INFORMATION size = {};
    if (list) GetAclInformation(list, &size, sizeof size, AclSizeInformation);
    for (DWORD i = 0; list && i < size.AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(list, i, &raw) || (static_cast<ACE_HEADER*>(raw)->AceFlags & INHERITED_ACE)) continue;
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);  // denied entries share the layout
        AceView view{ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? "A" : "D", ace->Header.AceFlags, ace->Mask, ""};
        char* text = nullptr;
        if (ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), &text)) {
            view.sid = text;
            LocalFree(text);
        }
        aces.push_back(view);
    }
    LocalFree(descriptor);
    return aces;
}

ToolSighting RunTarnwickWatchingTool(const std::string& arguments) {
    ToolSighting seen;
    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" " + arguments);
    DWORD toolPid = 0;
    for (const DWORD start = GetTickCount(); launcher.process && GetTickCount() - start < 60000; Sleep(2)) {
        const bool launcherEnded = WaitForSingleObject(launcher.process, 0) == WAIT_OBJECT_0;
        DWORD parent = 0;
        if (!toolPid && (toolPid = FindToolProcess(parent)) != 0) {
            // The file is looked at at once: the tool waits 200 ms before it works.
            seen.startedByLauncher = parent == launcher.pid;
            HANDLE tool = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, toolPid);
            char path[MAX_PATH] = {};
            DWORD size = MAX_PATH;
            if (tool && QueryFullProcessImageNameA(tool, 0, path, &size)) seen.toolPath = path;
            if (tool) CloseHandle(tool);
            HANDLE writer = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            seen.writeOpenError = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
            seen.fileWasTheTool = ReadFileBytes(path) == ReadFileBytes(BinDir() + "TarnwickPermissions.exe");
            seen.deleteError = DeleteFileA(path) ? 0 : GetLastError();
        }
        DialogSearch search{toolPid, nullptr};
        if (toolPid && !seen.dialogHadProgressBar) EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.dialog) {
            char caption[256] = {};
            GetWindowTextA(search.dialog, caption, sizeof caption);
            seen.dialogCaption = caption;
            HWND bar = GetDlgItem(search.dialog, 1000);
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
    // The responder records the tool's first dialog, presses nothing, and
    // ends with the tool when there is none; it is given time to start
    // watching before the tool runs.
    RunningProcess responder = StartProcess("\"" + BinDir() + "responder.exe\" " + std::to_string(info.dwProcessId) +
                                            " none \"" + record + "\" 60000 0");
    Sleep(1500);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    RunningProcess tool{info.hProcess, info.dwProcessId};
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
    HANDLE search = FindFirstFileA((TempDir() + "TarnwickPermissions*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}
