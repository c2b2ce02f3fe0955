#include "tests/support/harness.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <sstream>

#include "common/ascii_text.h"
#include "registry/registry_access.h"
#include "tests/support/dialog_search.h"
#include "tests/support/registry_snapshot.h"


std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.rfind('\\') + 1);
}

namespace {
std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}
}  // namespace

std::string DesktopDir() { return ShellFolder(CSIDL_DESKTOPDIRECTORY); }
std::string LocalAppDataDir() { return ShellFolder(CSIDL_LOCAL_APPDATA); }
std::string LogPath() { return DesktopDir() + "\\TarnwickLog.txt"; }
std::string JournalDir() { return ShellFolder(CSIDL_COMMON_APPDATA) + "\\Tarnwick"; }

std::string TempDir() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

std::string ReadFileBytes(const std::string& path, bool* exists) {
    // Shared every way, as a virus scanner reads: a program that holds the
    // file for deleting must not make the test miss it.
    std::string bytes;
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (exists) *exists = bool(file);
    if (!file) return bytes;
    char buffer[65536];
    for (DWORD n = 0; ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0;) bytes.append(buffer, n);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeDirs(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
}

RunningProcess& RunningProcess::operator=(RunningProcess&& other) noexcept {
    if (this != &other) {
        EndIfRunning();
        process = std::move(other.process);
        pid = std::exchange(other.pid, 0);
    }
    return *this;
}

void RunningProcess::EndIfRunning() {
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 5000);
    }
    process.reset();
}

RunningProcess StartProcess(const std::string& commandLine, const std::map<std::string, std::string>& environment) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string buffer = commandLine;
    // This process's environment with the given variables in place of its own.
    std::string block;
    if (!environment.empty()) {
        const char* strings = GetEnvironmentStringsA();
        for (const char* entry = strings; *entry; entry += strlen(entry) + 1) {
            const std::string text = entry;
            const std::string name = text.substr(0, text.find('=', 1));
            const bool replaced = std::any_of(environment.begin(), environment.end(), [&name](const auto& variable) {
                return EqualsIgnoringAsciiCase(variable.first, name);
            });
            if (!replaced) block.append(entry).push_back('\0');
        }
        FreeEnvironmentStringsA(const_cast<char*>(strings));
        for (const auto& [name, value] : environment) block.append(name + "=" + value).push_back('\0');
        block.push_back('\0');
    }
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, block.empty() ? nullptr : block.data(),
                        nullptr, &startup, &info)) {
        return {};
    }
    ProcessInformation started(info);
    return RunningProcess(std::move(started.process), started.processId);
}

RunningProcess StartAsStandardUser(const std::string& commandLine) {
    UniqueToken own, restricted;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, own.receive()) ||
        !AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators)) {
        return {};
    }
    SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
    const BOOL made = CreateRestrictedToken(own.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, restricted.receive());
    FreeSid(administrators);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string buffer = commandLine;
    if (!made || !CreateProcessAsUserA(restricted.get(), nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &startup, &info)) {
        return {};
    }
    ProcessInformation started(info);
    return RunningProcess(std::move(started.process), started.processId);
}

long WaitForExit(RunningProcess& p, DWORD timeoutMs) {
    if (!p.process) return -1;
    long result = -1;
    if (WaitForSingleObject(p.process.get(), timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(p.process.get(), &code);
        result = long(code);
    } else {
        TerminateProcess(p.process.get(), 99);
    }
    p.process.reset();
    return result;
}

::testing::AssertionResult ProcessEnded(const std::string& pid) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, strtoul(pid.c_str(), nullptr, 10)));
    if (!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
        return ::testing::AssertionSuccess() << "process " << pid << " has ended";
    }
    return ::testing::AssertionFailure() << "process " << pid << " is still running";
}

void EndProcess(const std::string& pid) {
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, strtoul(pid.c_str(), nullptr, 10)));
    ASSERT_TRUE(process) << "process " << pid;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
}

namespace {
std::string UserHome(int n) { return std::string(kScenarioRoot) + "\\User" + std::to_string(n); }
}  // namespace

std::map<std::string, std::string> UserFolders(int n) {
    const std::string home = UserHome(n);
    for (const char* folder : {"\\Temp", "\\AppData\\Roaming", "\\AppData\\Local"}) MakeDirs(home + folder);
    return {{"TEMP", home + "\\Temp"},
            {"TMP", home + "\\Temp"},
            {"USERPROFILE", home},
            {"APPDATA", home + "\\AppData\\Roaming"},
            {"LOCALAPPDATA", home + "\\AppData\\Local"}};
}

std::map<std::string, std::string> AccessRecordOfUser(int n, DWORD waitMs) {
    return ReadRecord(UserHome(n) + "\\Temp\\fake-access.exe", waitMs);
}

RunningProcess StartTarnwick(const std::string& arguments) {
    return StartProcess("\"" + BinDir() + "Tarnwick.exe\" " + arguments);
}

long RunTarnwick(const std::string& arguments, DWORD timeoutMs) {
    RunningProcess p = StartTarnwick(arguments);
    return WaitForExit(p, timeoutMs);
}

RunningProcess StartResponder(DWORD pid, const std::string& button, const std::string& record, DWORD timeoutMs,
                              int boxes) {
    return StartProcess("\"" + BinDir() + "responder.exe\" " + std::to_string(pid) + " " + button + " \"" + record +
                        "\" " + std::to_string(timeoutMs) + " " + std::to_string(boxes));
}

HWND WaitForDialog(DWORD pid, DWORD timeoutMs) {
    HWND dialog = FindVisibleDialog(pid);
    for (DWORD waited = 0; !dialog && waited < timeoutMs; waited += 50) {
        Sleep(50);
        dialog = FindVisibleDialog(pid);
    }
    return dialog;
}

namespace {
std::string Unescaped(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}
}  // namespace

ResponderResult RunTarnwickAnswering(const std::string& arguments, const std::string& button, int boxes,
                                     DWORD timeoutMs) {
    const std::string record = TempDir() + "responder.txt";
    DeleteFileA(record.c_str());
    RunningProcess launcher = StartTarnwick(arguments);
    RunningProcess responder = StartResponder(launcher.pid, button, record, timeoutMs, boxes);
    ResponderResult result;
    WaitForExit(responder, timeoutMs + 5000);
    result.exitCode = WaitForExit(launcher, timeoutMs);
    std::istringstream lines(ReadFileBytes(record));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = Unescaped(line.substr(eq + 1));
        if (key == "box") result.boxes.emplace_back();
        if (result.boxes.empty()) continue;
        BoxRecord& box = result.boxes.back();
        if (key == "caption") box.caption = value;
        if (key == "text") box.text = value;
        if (key == "icon") box.icon = value;
        if (key == "buttons") box.buttons = value;
        if (key == "owner") box.owner = value;
        if (key == "visible") box.visible = value;
    }
    return result;
}

void SetWindowsVersionFor(const std::string& exeName, const std::string& version) {
    SetRawValue(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\" + exeName, "Version", REG_SZ, Sz(version));
}

namespace {
void DeleteTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string WithoutExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    return dot != std::string::npos && dot > path.rfind('\\') ? path.substr(0, dot) : path;
}
}  // namespace

void PlaceFakeProgram(const std::string& exePath, const std::map<std::string, std::string>& settings,
                      const std::vector<std::string>& reads, const std::string& standIn,
                      const std::vector<std::string>& writes) {
    MakeDirs(exePath.substr(0, exePath.rfind('\\')));
    ASSERT_TRUE(CopyFileA((BinDir() + standIn).c_str(), exePath.c_str(), FALSE)) << exePath;
    std::map<std::string, std::string> all = {{"lifetimeMs", "1000"}};
    for (const auto& [key, value] : settings) all[key] = value;
    std::string ini = "[fake]\r\n";
    for (const auto& [key, value] : all) ini += key + "=" + value + "\r\n";
    ini += "[read]\r\n";
    for (size_t i = 0; i < reads.size(); ++i) ini += std::to_string(i + 1) + "=" + reads[i] + "\r\n";
    ini += "[write]\r\n";
    for (size_t i = 0; i < writes.size(); ++i) ini += std::to_string(i + 1) + "=" + writes[i] + "\r\n";
    WriteFileBytes(WithoutExtension(exePath) + ".ini", ini);
}

std::map<std::string, std::string> ReadRecord(const std::string& exePath, DWORD waitMs) {
    const std::string path = WithoutExtension(exePath) + ".record.txt";
    for (DWORD waited = 0; !PathExists(path) && waited < waitMs; waited += 50) Sleep(50);
    std::map<std::string, std::string> record;
    std::istringstream lines(ReadFileBytes(path));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) record[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return record;
}

void ForgetRecord(const std::string& exePath) { DeleteFileA((WithoutExtension(exePath) + ".record.txt").c_str()); }

std::string InstallFullAccess(int year, const std::map<std::string, std::string>& settings,
                              const std::string& command, const std::vector<std::string>& reads,
                              const std::vector<std::string>& writes) {
    const std::string folder = std::string(kScenarioRoot) + "\\Office" + std::to_string(year);
    PlaceFakeProgram(folder + "\\MSACCESS.EXE", settings, reads, "fake_access.exe", writes);
    CopyFileA((BinDir() + "MSACC.OLB").c_str(), (folder + "\\MSACC.OLB").c_str(), FALSE);
    const char* progIds[] = {"Access.Application.10", "Access.Application.11", "Access.Application.12",
                             "Access.Application.14"};
    const int index = year == 2002 ? 0 : year == 2003 ? 1 : year == 2007 ? 2 : 3;
    const std::string key = std::string(progIds[index]) + "\\shell\\open\\command";
    const std::string text = command.empty() ? "\"" + folder + "\\MSACCESS.EXE\" /NOSTARTUP \"%1\"" : command;
    SetRawValue(HKEY_CLASSES_ROOT, key, "", REG_SZ, Sz(text));
    return folder;
}

std::string InstallNewerAccess(const NewerAccess& install, const std::vector<std::string>& reads,
                               const std::map<std::string, std::string>& settings) {
    const std::string year = std::to_string(install.year), root = kScenarioRoot;
    const std::string version = install.year == 2013 ? "15" : "16";
    std::string folder = root + "\\Installer" + year;
    if (install.kind == InstallKind::ShellCommand) {
        folder = root + "\\Office" + year;
        SetRawValue(HKEY_CLASSES_ROOT, "Access.Application." + version + "\\shell\\open\\command", "", REG_SZ,
                    Sz("\"" + folder + "\\MSACCESS.EXE\" /NOSTARTUP \"%1\""));
    } else if (install.kind == InstallKind::ClickToRun) {
        folder = root + "\\Microsoft Office\\root\\Office" + version;
        const std::string key = install.year == 2013 ? "SOFTWARE\\Microsoft\\Office\\15.0\\ClickToRun\\Configuration"
                                                     : "SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
        for (const auto& [name, value] : std::map<std::string, std::string>{
                 {"InstallationPath", root + "\\Microsoft Office"}, {"Platform", install.platform},
                 {"ProductReleaseIds", install.products}, {"VersionToReport", version + ".0.17531.20140"}}) {
            SetRawValue(HKEY_LOCAL_MACHINE, key, name, REG_SZ, Sz(value), KEY_WOW64_64KEY);
        }
    } else {  // MSACCESS.EXE's component, packed as Windows Installer names its keys
        const bool x64 = install.kind == InstallKind::Installer64;
        const char* packed = install.year == 2013 ? (x64 ? "3B4B2EC383AD3114D82B698574DC9EF4" : "0FE21E3AB3C73944993A9FF2DCA05A21")
                                                  : (x64 ? "6A919C725AF39F743ACECBF72FAA4D25" : "4C7AA43E54887DB4AB6C6255B40628B3");
        SetRawValue(HKEY_LOCAL_MACHINE,
                    std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\") + packed,
                    "00006109110000000000000000F01FEC", REG_SZ, Sz(folder + "\\MSACCESS.EXE"), kInstallerView);
    }
    if (install.withExe) PlaceFakeProgram(folder + "\\MSACCESS.EXE", settings, reads);
    return folder + "\\MSACCESS.EXE";
}

std::string InstallRuntime2002(const std::map<std::string, std::string>& settings,
                               const std::vector<std::string>& reads) {
    const std::string folder = std::string(kScenarioRoot) + "\\Runtime10";
    PlaceFakeProgram(folder + "\\MSACCESS.EXE", settings, reads);
    CopyFileA((BinDir() + "MSACC.OLB").c_str(), (folder + "\\MSACC.OLB").c_str(), FALSE);
    RegisterRuntime(RuntimeComponentKey(), kRuntimeValueName, "C?" + folder.substr(2) + "\\MSACCESS.EXE");
    return folder + "\\MSACCESS.EXE";
}

std::string RuntimeComponentKey() {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\Components\\769E92CC2CB71D119A12000A9CE1A23A";
}

// As Windows Installer registers it.
void RegisterRuntime(const std::string& componentKey, const std::string& valueName, const std::string& location) {
    SetRawValue(HKEY_LOCAL_MACHINE, componentKey, valueName, REG_SZ, Sz(location), kInstallerView);
}

void KillStandIns() {
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
        const std::string name = entry.szExeFile;
        if (lstrcmpiA(name.c_str(), "msaccess.exe") == 0 || lstrcmpiA(name.c_str(), "launch32.exe") == 0 ||
            lstrcmpiA(name.c_str(), "Tarnwick.exe") == 0) {
            if (const UniqueHandle process{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)}) {
                TerminateProcess(process.get(), 1);
                WaitForSingleObject(process.get(), 5000);
            }
        }
    }
}

void Scenario::SetUp() {
    KillStandIns();
    DeleteTree(kScenarioRoot);
    MakeDirs(kScenarioRoot);
    ASSERT_TRUE(ResetRegistryToSnapshot(std::string(kTestStateDir) + "\\pristine.snap"))
        << "the registry snapshot of the test prefix is missing";
    DeleteFileA(LogPath().c_str());
    DeleteTree(JournalDir());  // journals left by a launcher a scenario ended by force
}

std::vector<std::string> LogLines() {
    const std::string bytes = ReadFileBytes(LogPath());
    std::vector<std::string> lines;
    size_t start = 0, scan = 0;
    for (size_t end; (end = bytes.find("\r\n", scan)) != std::string::npos;) {
        scan = end + 2;
        if (bytes.compare(scan, 15, "\twith cmdline: ") == 0) continue;  // one entry on two physical lines
        lines.push_back(bytes.substr(start, end - start));
        start = scan;
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& label) {
    std::vector<std::string> found;
    for (const auto& line : lines) {
        if (line.rfind(label, 0) == 0) found.push_back(line);
    }
    return found;
}

::testing::AssertionResult HasConsecutiveLines(const std::vector<std::string>& lines,
                                               const std::vector<std::string>& expected) {
    for (size_t i = 0; i + expected.size() <= lines.size(); ++i) {
        if (std::equal(expected.begin(), expected.end(), lines.begin() + i)) return ::testing::AssertionSuccess();
    }
    std::string text = "expected, one after the other:\n";
    for (const auto& line : expected) text += "  " + line + "\n";
    text += "in the log:\n";
    for (const auto& line : lines) text += "  " + line + "\n";
    return ::testing::AssertionFailure() << text;
}

::testing::AssertionResult SameRegistryAs(const std::string& before, bool outsideTheUsersHive) {
    const std::string after = DumpRegistry();
    if (after == before) return ::testing::AssertionSuccess();
    auto lines = [outsideTheUsersHive](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!outsideTheUsersHive || line.rfind("[HKEY_CURRENT_USER", 0) != 0) out.push_back(line);
        }
        return out;
    };
    const auto a = lines(before), b = lines(after);
    if (a == b) return ::testing::AssertionSuccess();
    std::string diff;
    for (const auto& line : a) {
        if (std::find(b.begin(), b.end(), line) == b.end()) diff += "- " + line + "\n";
    }
    for (const auto& line : b) {
        if (std::find(a.begin(), a.end(), line) == a.end()) diff += "+ " + line + "\n";
    }
    return ::testing::AssertionFailure() << "the registry changed:\n" << diff.substr(0, 4000);
}

::testing::AssertionResult EverythingElseAsBefore(const std::string& before) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Office");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Microsoft\\Shared Tools");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (kAccessTypeLib + "\\9.0\\FLAGS").c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (kAccessTypeLib + "\\9.0\\HELPDIR").c_str());
    return SameRegistryAs(before);
}

::testing::AssertionResult KeyExists(HKEY root, const std::string& key) {
    UniqueKey opened;
    const LONG rc = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.receive());
    if (rc == ERROR_SUCCESS) return ::testing::AssertionSuccess() << RootKeyName(root) << "\\" << key << " exists";
    return ::testing::AssertionFailure() << RootKeyName(root) << "\\" << key << " cannot be opened: error " << rc;
}

std::string RawValue(HKEY root, const std::string& key, const std::string& name, REGSAM view) {
    UniqueKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, opened.receive()) != ERROR_SUCCESS) return "missing";
    std::vector<BYTE> data(70000);
    DWORD type = 0, size = DWORD(data.size() - 1);
    const LONG rc = RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, data.data(), &size);
    if (rc != ERROR_SUCCESS) return "missing";
    data[size] = 0;
    const char* text = reinterpret_cast<const char*>(data.data());
    if (type == REG_SZ) return std::string("REG_SZ:") + text;
    if (type == REG_EXPAND_SZ) return std::string("REG_EXPAND_SZ:") + text;
    if (type == REG_DWORD && size == 4) return "REG_DWORD:" + std::to_string(*reinterpret_cast<DWORD*>(data.data()));
    std::string out = "type " + std::to_string(type) + ":";
    char digits[3];
    for (DWORD i = 0; i < size; ++i) snprintf(digits, sizeof digits, "%02X", data[i]), out += digits;
    return out;
}

void SetRawValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data,
                 REGSAM view) {
    UniqueKey opened;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, opened.receive(),
                              nullptr),
              ERROR_SUCCESS)
        << key;
    RegSetValueExA(opened.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()));
}

void SetRawDword(HKEY root, const std::string& key, const std::string& name, DWORD value, REGSAM view) {
    SetRawValue(root, key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4), view);
}

std::string StoredValue(HKEY root, const std::string& key, const std::string& name) {
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return "missing";
    const std::wstring wideName(name.begin(), name.end());  // test value names are ASCII
    std::vector<BYTE> data(70000);
    DWORD type = 0, size = DWORD(data.size());
    const LONG rc = RegQueryValueExW(opened, wideName.c_str(), nullptr, &type, data.data(), &size);
    RegCloseKey(opened);
    if (rc != ERROR_SUCCESS) return "missing";
    std::string out = "type " + std::to_string(type) + ":";
    char digits[3];
    for (DWORD i = 0; i < size; ++i) snprintf(digits, sizeof digits, "%02X", data[i]), out += digits;
    return out;
}

void SetStoredValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY opened;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr), 0) << key;
    // Non-zero bytes around the data: the API would otherwise count a missing
    // string terminator by itself.
    const std::string guarded = "\x01\x01" + bytes + "\x01\x01";
    const std::wstring wideName(name.begin(), name.end());
    EXPECT_EQ(RegSetValueExW(opened, wideName.c_str(), 0, type, reinterpret_cast<const BYTE*>(guarded.data() + 2),
                             DWORD(bytes.size())),
              0)
        << key;
    RegCloseKey(opened);
}

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

ULONGLONG KeyWriteTime(HKEY root, const std::string& key) {
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return 0;
    FILETIME written = {};
    RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &written);
    RegCloseKey(opened);
    return (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

std::vector<TrustedLocation> TrustedLocationsOf(const std::string& version) {
    const std::string container = "Software\\Microsoft\\Office\\" + version + "\\Access\\Security\\Trusted Locations";
    std::vector<TrustedLocation> out;
    UniqueKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, container.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return out;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key.get(), i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        const std::string sub = container + "\\" + name;
        out.push_back({name, RawValue(HKEY_CURRENT_USER, sub, "Path"), RawValue(HKEY_CURRENT_USER, sub, "AllowSubfolders")});
    }
    return out;
}
