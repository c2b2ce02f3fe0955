// A stand-in for MSACCESS.EXE (and, built with another default, for
// launch32.exe). It records how it was started and, on request, the registry
// values it sees at start, then behaves as its settings file says.
//
// Settings: "<exe path without extension>.ini", section [fake]:
//   window   = now | late | never | owned   (owned: an "OMain" pop-up with an owner)
//   delayMs  = wait before the "late" window
//   lifetimeMs = end after this long; 0 = only when closed or killed
//   recordInTemp = 1: the record also goes to "fake-access.record.txt" in the
//   temporary folder
// section [read]: n = <root name>\<key path>|<value name>, recorded as read.n;
//   a value name "*<name>" records that value of every subkey, joined by ";"
// section [write]: n = <root name>\<key path>|<value name>|<type>|<data>,
//   type REG_SZ, REG_EXPAND_SZ, REG_DWORD or DELETE; done after the record,
//   as Access changes its own registrations while it runs
// Record: "<exe path without extension>.record.txt", written whole at start.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/handles.h"
#include "common/registry_roots.h"
#include "registry/registry_access.h"

#ifndef FAKE_DEFAULT_WINDOW
#define FAKE_DEFAULT_WINDOW "now"
#endif

namespace {

std::string g_base;  // exe path without its extension

std::string Setting(const char* section, const char* key, const char* fallback) {
    char value[2048];
    GetPrivateProfileStringA(section, key, fallback, value, sizeof value, (g_base + ".ini").c_str());
    return value;
}

// A root by any of the names the system writes; null when unknown.
HKEY RootFromName(const std::string& name) {
    const RegistryRootNames* names = FindRootByName(name);
    return names ? RootHandle(names->root) : nullptr;
}

// "<root>\<key>|<rest>": the root (null when unknown), the key and what
// follows the first bar; false when the text has no such form.
bool SplitValueAddress(const std::string& address, HKEY& root, std::string& key, std::string& rest) {
    const auto bar = address.find('|');
    const auto slash = address.find('\\');
    if (bar == std::string::npos || slash == std::string::npos || slash > bar) return false;
    root = RootFromName(address.substr(0, slash));
    key = address.substr(slash + 1, bar - slash - 1);
    rest = address.substr(bar + 1);
    return true;
}

// "<root>\<key>|<value>" -> "REG_SZ:text", "REG_DWORD:123", "type N:hex" or "missing".
// Windows Installer's data is read and written in its own view, as Access
// reaches it through Windows Installer.
std::string ReadValue(const std::string& address) {
    HKEY root;
    std::string key, name;
    if (!SplitValueAddress(address, root, key, name)) return "bad address";
    UniqueKey opened;
    if (!root || RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | RegistryViewFor(root, key), opened.receive()) != ERROR_SUCCESS) return "missing";
    BYTE data[8192];
    DWORD type = 0, size = sizeof data - 1;
    const LONG rc = RegQueryValueExA(opened.get(), name.c_str(), nullptr, &type, data, &size);
    if (rc != ERROR_SUCCESS) return "missing";
    data[size] = 0;
    char text[64];
    switch (type) {
    case REG_SZ: return std::string("REG_SZ:") + reinterpret_cast<char*>(data);
    case REG_EXPAND_SZ: return std::string("REG_EXPAND_SZ:") + reinterpret_cast<char*>(data);
    case REG_DWORD:
        snprintf(text, sizeof text, "REG_DWORD:%lu", size == 4 ? *reinterpret_cast<DWORD*>(data) : 0ul);
        return text;
    default: {
        snprintf(text, sizeof text, "type %lu:", type);
        std::string out = text;
        for (DWORD i = 0; i < size; ++i) snprintf(text, sizeof text, "%02X", data[i]), out += text;
        return out;
    }
    }
}

// "<root>\<key>|*<value>": the value of each subkey, in enumeration order.
std::string ReadSubkeyValues(const std::string& address) {
    const auto bar = address.find('|');
    const std::string key = address.substr(0, bar), name = address.substr(bar + 2);
    HKEY root;
    std::string path, rest;
    if (!SplitValueAddress(address, root, path, rest) || !root) return "bad address";
    UniqueKey opened;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, opened.receive()) != ERROR_SUCCESS) return "missing";
    std::string out;
    char subkey[256];
    for (DWORD i = 0; RegEnumKeyA(opened.get(), i, subkey, sizeof subkey) == ERROR_SUCCESS; ++i) {
        out += (i ? ";" : "") + ReadValue(key + "\\" + subkey + "|" + name);
    }
    return out;
}

void WriteRecord() {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::string record;
    record += std::string("exe=") + exe + "\n";
    record += std::string("commandline=") + GetCommandLineA() + "\n";
    record += "show=" + ((startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(startup.wShowWindow) : "none") + "\n";
    record += "pid=" + std::to_string(GetCurrentProcessId()) + "\n";
    for (int i = 1;; ++i) {
        const std::string address = Setting("read", std::to_string(i).c_str(), "");
        if (address.empty()) break;
        const bool subkeys = address.find("|*") != std::string::npos;
        record += "read." + std::to_string(i) + "=" + (subkeys ? ReadSubkeyValues(address) : ReadValue(address)) + "\n";
    }
    // Written aside and moved into place, so that a reader never sees half a record.
    const auto writeTo = [&record](const std::string& finalPath) {
        const std::string tempPath = finalPath + ".tmp";
        if (FILE* f = fopen(tempPath.c_str(), "wb")) {
            fwrite(record.data(), 1, record.size(), f);
            fclose(f);
            MoveFileExA(tempPath.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    };
    writeTo(g_base + ".record.txt");
    // Several launches of one installation at once: each start's own record
    // in the temporary folder of the user that started it.
    if (Setting("fake", "recordInTemp", "0") == "1") {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        writeTo(std::string(temp) + "fake-access.record.txt");
    }
}

void WriteValues() {
    for (int i = 1;; ++i) {
        // "<root>\<key>|<name>|<type>|<data>"
        const std::string address = Setting("write", std::to_string(i).c_str(), "");
        if (address.empty()) break;
        HKEY root;
        std::string key, rest;
        if (!SplitValueAddress(address, root, key, rest)) continue;
        const auto nameEnd = rest.find('|');
        const auto typeEnd = nameEnd == std::string::npos ? nameEnd : rest.find('|', nameEnd + 1);
        if (typeEnd == std::string::npos) continue;
        const std::string name = rest.substr(0, nameEnd);
        const std::string type = rest.substr(nameEnd + 1, typeEnd - nameEnd - 1);
        const std::string data = rest.substr(typeEnd + 1);
        UniqueKey opened;
        if (!root ||
            RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | RegistryViewFor(root, key), nullptr,
                            opened.receive(), nullptr)) {
            continue;
        }
        if (type == "DELETE") {
            RegDeleteValueA(opened.get(), name.c_str());
        } else if (type == "REG_DWORD") {
            const DWORD number = strtoul(data.c_str(), nullptr, 10);
            RegSetValueExA(opened.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
        } else {
            RegSetValueExA(opened.get(), name.c_str(), 0, type == "REG_EXPAND_SZ" ? REG_EXPAND_SZ : REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()), DWORD(data.size() + 1));
        }
    }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);  // closing Access's window ends Access
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateMainWindow(HINSTANCE instance, bool owned) {
    HWND owner = nullptr;
    if (owned) {
        owner = CreateWindowExA(0, "FakeOwner", "Fake owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                instance, nullptr);
    }
    HWND window = CreateWindowExA(0, "OMain", "Fake Access", owned ? WS_POPUP : WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                  owner, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    g_base = exe;
    const auto dot = g_base.rfind('.');
    if (dot != std::string::npos && dot > g_base.rfind('\\')) g_base.resize(dot);

    WriteRecord();
    WriteValues();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "OMain";
    RegisterClassA(&windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "FakeOwner";
    RegisterClassA(&windowClass);

    const std::string mode = Setting("fake", "window", FAKE_DEFAULT_WINDOW);
    const UINT delayMs = UINT(std::stoul(Setting("fake", "delayMs", "2000")));
    const UINT lifetimeMs = UINT(std::stoul(Setting("fake", "lifetimeMs", "3000")));

    if (mode == "now") CreateMainWindow(instance, false);
    if (mode == "owned") CreateMainWindow(instance, true);
    const UINT_PTR lateTimer = mode == "late" ? SetTimer(nullptr, 0, delayMs, nullptr) : 0;
    const UINT_PTR endTimer = lifetimeMs ? SetTimer(nullptr, 0, lifetimeMs, nullptr) : 0;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_TIMER) {
            if (endTimer && message.wParam == endTimer) break;
            if (lateTimer && message.wParam == lateTimer) {
                KillTimer(nullptr, lateTimer);
                CreateMainWindow(instance, false);
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
