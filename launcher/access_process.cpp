#include "launcher/access_process.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

#include "common/ascii_text.h"
#include "common/log.h"
#include "common/system_library.h"

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchAccessWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (GetParent(window)) return TRUE;  // an owned pop-up is not the main window
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId) return TRUE;
    char className[256];
    if (GetClassNameA(window, className, sizeof className) == 0) return TRUE;
    if (!EqualsIgnoringAsciiCase(className, "OMain")) return TRUE;
    search->found = window;
    return FALSE;
}

StartResult StartThroughShell(const std::string& path, const std::string& arguments, int showCmd) {
    StartResult result;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = path.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = showCmd;
    if (!ShellExecuteExSystem(&info)) return result;
    UniqueHandle process(info.hProcess);
    using GetProcessIdFn = DWORD(WINAPI*)(HANDLE);
    const UniqueModule kernel = LoadSystemLibrary("Kernel32.dll");
    const auto getProcessId = SystemFunction<GetProcessIdFn>(kernel.get(), "GetProcessId");
    if (getProcessId && process) {
        result.processId = getProcessId(process.get());
        result.process = std::move(process);
    }
    return result;
}

StartResult StartDirectly(const std::string& path, const std::string& arguments, int showCmd) {
    StartResult result;
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(showCmd);
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startup, &info)) {
        ProcessInformation started(info);
        result.processId = started.processId;
        result.process = std::move(started.process);
    }
    return result;
}

}  // namespace

StartResult StartProgram(const std::string& path, const std::string& arguments, int showCmd,
                         const OsVersionFlags& os) {
    return os.bIsVistaOrLater ? StartThroughShell(path, arguments, showCmd) : StartDirectly(path, arguments, showCmd);
}

HWND FindAccessMainWindow(DWORD processId) {
    WindowSearch search{processId, nullptr};
    EnumWindows(MatchAccessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int WatchAccess(const LauncherContext& ctx, unsigned pollMs, const WatchHooks& hooks) {
    if (ctx.dwAccessProcessId == 0) {
        if (hooks.windowSearchEnded) hooks.windowSearchEnded();
        Log("Timed Out - main Access window not found!");
        return 0;
    }
    Log("Access launched with ProcessID: ", std::to_string(ctx.dwAccessProcessId));
    const int pollLimit = ctx.nAccessVersion < 2003 ? 30 : 60;
    HANDLE process = static_cast<HANDLE>(ctx.hAccessProcess);
    int searches = 1;
    HWND window = FindAccessMainWindow(ctx.dwAccessProcessId);
    for (int count = 0; !window && count < pollLimit; ++count) {
        if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) break;  // ended, or the handle is unusable
        Sleep(pollMs);
        window = FindAccessMainWindow(ctx.dwAccessProcessId);
        ++searches;
    }
    if (hooks.windowSearchEnded) hooks.windowSearchEnded();
    if (window) {
        const bool withoutLimit = ctx.nWaitMs == 0;
        if (withoutLimit && hooks.waitingWithoutLimit) hooks.waitingWithoutLimit(true);
        WaitForSingleObject(process, withoutLimit ? INFINITE : DWORD(ctx.nWaitMs));
        if (withoutLimit && hooks.waitingWithoutLimit) hooks.waitingWithoutLimit(false);
        Log("Found main Access window - shutting down");
    } else {
        Log("Timed Out - main Access window not found!");
    }
    return searches;
}

bool IsAccessRunning() {
    // Terminal servers run far more than 1024 processes: grow the buffer
    // until the list comes back shorter than the room given.
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    for (;;) {
        if (!EnumProcessesSystem(ids.data(), DWORD(ids.size() * sizeof(DWORD)), &bytes)) return false;
        if (bytes < ids.size() * sizeof(DWORD)) break;
        ids.resize(ids.size() * 2);
    }
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        if (ids[i] == 0) continue;
        UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process) continue;
        HMODULE module;
        DWORD needed;
        char name[MAX_PATH] = "<unknown>";
        // The first module is the program itself; one handle's room is enough.
        if (EnumProcessModulesSystem(process.get(), &module, sizeof module, &needed)) {  // NOLINT(bugprone-sizeof-expression)
            GetModuleBaseNameSystem(process.get(), module, name, sizeof name);
        }
        if (strcmp(name, "MSACCESS.EXE") == 0) return true;  // case matters
    }
    return false;
}
