#include "tests/support/harness.h"

#include <shlobj.h>

#include <cstdio>
#include <algorithm>
#include <sstream>

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

std::string TempDir() {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return path;
}

std::string ReadFileBytes(const std::string& path, bool* exists) {
    std::string bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (exists) *exists = f != nullptr;
    if (!f) return bytes;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    fclose(f);
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

RunningProcess StartProcess(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string buffer = commandLine;
    RunningProcess p;
    if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        p.process = info.hProcess;
        p.pid = info.dwProcessId;
    }
    return p;
}

long WaitForExit(RunningProcess& p, DWORD timeoutMs) {
    if (!p.process) return -1;
    long result = -1;
    if (WaitForSingleObject(p.process, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(p.process, &code);
        result = long(code);
    } else {
        TerminateProcess(p.process, 99);
    }
    CloseHandle(p.process);
    p.process = nullptr;
    return result;
}

long RunTarnwick(const std::string& arguments, DWORD timeoutMs) {
    RunningProcess p = StartProcess("\"" + BinDir() + "Tarnwick.exe\" " + arguments);
    return WaitForExit(p, timeoutMs);
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
    RunningProcess launcher = StartProcess("\"" + BinDir() + "Tarnwick.exe\" " + arguments);
    RunningProcess responder = StartProcess("\"" + BinDir() + "responder.exe\" " + std::to_string(launcher.pid) + " " +
                                            button + " \"" + record + "\" " + std::to_string(timeoutMs) + " " +
                                            std::to_string(boxes));
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
    HKEY key;
    const std::string path = "Software\\Wine\\AppDefaults\\" + exeName;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()), DWORD(version.size() + 1));
    RegCloseKey(key);
}

void Scenario::SetUp() {
    ASSERT_TRUE(ResetRegistryToSnapshot(std::string(kTestStateDir) + "\\pristine.snap"))
        << "the registry snapshot of the test prefix is missing";
    DeleteFileA(LogPath().c_str());
}

std::vector<std::string> LogLines() {
    const std::string bytes = ReadFileBytes(LogPath());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        // "\r\n\twith cmdline: " continues the entry before it.
        if (end + 2 < bytes.size() && bytes[end + 2] == '\t' && !lines.empty() && start == end) continue;
        lines.push_back(bytes.substr(start, end - start));
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
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
