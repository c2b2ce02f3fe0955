#include "launcher/launch_sequence.h"

#include <string>

#include "access/discovery.h"
#include "access/preparation.h"
#include "access/text_paths.h"
#include "access/trusted_locations.h"
#include "common/handles.h"
#include "common/log.h"
#include "common/windows_version.h"
#include "launcher/access_process.h"
#include "launcher/command_line.h"
#include "launcher/command_line_steps.h"
#include "launcher/context.h"
#include "launcher/os_version.h"
#include "launcher/sequence_rules.h"
#include "launcher/shared_preparation.h"
#include "permissions/tool_launch.h"
#include "registry/key_list.h"
#include "registry/registry_access.h"

std::string g_commandLineText;
HINSTANCE g_instance = nullptr;

namespace {

constexpr unsigned kWindowPollMs = 1000;
void PostCloseRequest(HWND host) {
    if (host) PostMessageA(host, WM_CLOSE, 0, 0);
}

// " (CallName, Windows error N)"
std::string FailedCallText(const SnapshotFileResult& result) {
    return std::string(" (") + result.failedCall + ", Windows error " + std::to_string(result.error) + ")";
}

void RunCaptureMode() {
    Log("-capture");
    RegistryKeyList list;
    list.useSnapshotFile = 1;
    BuildCaptureList(list);
    const SnapshotFileResult written = CaptureEntries(list);
    if (written.failedCall) {
        Log("Capture failed: ", "the snapshot file " + written.path + " could not be written" + FailedCallText(written));
    }
}

void LogRestoreOutcome(const SnapshotFileResult& file) {
    if (!bLogging) return;
    if (file.foreignOwner) {
        Log("Restore put back nothing: ", "the snapshot file " + file.path + " belongs to another user; it was left as it is");
        return;
    }
    if (!file.read) {
        Log("Restore put back nothing: ", "no usable snapshot file " + file.path + FailedCallText(file));
        return;
    }
    // One line each, up to a bound: a damaged file must not flood the log.
    constexpr std::size_t kRefusalsLogged = 50;
    for (std::size_t i = 0; i < file.applied.refused.size() && i < kRefusalsLogged; ++i) {
        Log("Restore refused a line: ", file.applied.refused[i]);
    }
    if (file.applied.refused.size() > kRefusalsLogged) {
        Log("Restore refused more lines: ", std::to_string(file.applied.refused.size() - kRefusalsLogged));
    }
    if (file.applied.damagedEnd) {
        Log("Restore ignored a damaged line: ", "the snapshot file " + file.path + " was cut short");
    }
    if (file.applied.valuesSet == 0) {
        Log("Restore put back nothing: ", "the snapshot file " + file.path + " held no value");
    }
    if (file.failedCall) Log("Restore could not delete the snapshot file: ", file.path + FailedCallText(file));
}

void RunRestoreMode(HWND host) {
    Log("-restore");
    RegistryKeyList list;
    list.useSnapshotFile = 1;
    BuildCaptureList(list);
    LogRestoreOutcome(RestoreEntries(list));
    while (IsAccessRunning()) {
        MessageBoxA(host, "Please close down Access and then click OK to continue.", "MSAccess is running", MB_OK);
    }
}

void RunOpenKeysMode(const LauncherContext& ctx) {
    if (QueryWindowsVersion().major > 4) {
        Log("-openkeys");
        RunTarnwickPermissions(ctx.bNoProgress ? 0 : 1);
    }
}

// With -SECFILE, launch32.exe beside the workgroup file is started in place
// of Access, with that file's path as its whole command line.
void SubstituteLaunch32(LauncherContext& ctx) {
    if (ctx.strSecFile.empty()) return;
    Log("Launching with Launch32.exe");
    const std::string candidate = GetFolderOfPath(ctx.strSecFile) + "\\launch32.exe";
    if (!FileExists(candidate)) return;
    ctx.strAccessExePath = candidate;
    Log(candidate);
    ctx.strAccessCmdLine = ctx.strSecFile;
}

// Starts the chosen program and watches for its main window and its end;
// the process handle (empty when nothing was started) is kept for the
// optional wait after the restore. While it waits for its Access without
// limit, launches of another Access waiting for this one go on.
UniqueHandle StartAndWatchAccess(LauncherContext& ctx, SharedPreparation& shared) {
    UniqueHandle accessProcess;
    if (ctx.strAccessExePath.empty()) return accessProcess;
    Log("Launching Access: ", ctx.strAccessExePath + "\r\n\twith cmdline: " + ctx.strAccessCmdLine);
    StartResult started = StartProgram(ctx.strAccessExePath, ctx.strAccessCmdLine, ctx.nAccessShowCmd, ctx.os);
    accessProcess = std::move(started.process);
    ctx.hAccessProcess = accessProcess.get();
    ctx.dwAccessProcessId = started.processId;
    WatchHooks hooks;
    hooks.waitingWithoutLimit = [&shared](bool waiting) { shared.WaitingWithoutLimit(waiting); };
    WatchAccess(ctx, kWindowPollMs, hooks);
    return accessProcess;
}

// The launch path: from the command line meant for Access to the close
// request, one step a line.
void RunLaunchPath(LauncherContext& ctx, const std::string& remainder, HWND host) {
    if (g_commandLineText.empty()) {
        MessageBoxA(nullptr, "Invalid Command line", "Tarnwick", MB_ICONEXCLAMATION);
        PostCloseRequest(host);
        return;
    }
    ApplyStoredCommandLine(ctx, remainder);
    if (ctx.bWindowsProfile) ApplyWindowsProfile(ctx);

    ReadMdbAssociation(ctx);
    if (!ChooseAccessExecutable(ctx)) {
        PostCloseRequest(host);
        return;
    }
    PlanTrustedLocationForUser(ctx);
    SharedPreparation shared;
    shared.Join(ctx, kRegistryLockWaitMs);
    PrepareAccessVersionRegistration(ctx);
    PrepareAccessGenerationBlock(ctx);

    SubstituteLaunch32(ctx);
    const UniqueHandle accessProcess = StartAndWatchAccess(ctx, shared);
    shared.Leave(ctx);

    if (ctx.bWaitForAccessToClose && accessProcess) WaitForSingleObject(accessProcess.get(), INFINITE);
    if (host) {
        Log("Exiting application");
        PostCloseRequest(host);
    }
}

}  // namespace

void RunLaunchSequence(HWND host) {
    LauncherContext ctx;
    ctx.os = QueryOsVersionFlags();
    ctx.hHostWindow = host;

    const std::string remainder = ParseCommandLine(g_commandLineText, ctx, bLogging);
    if (bLogging) {
        OpenLog();
        Log("Tarnwick_", std::to_string(kTargetAccessGeneration) + " version: " + kLauncherVersion);
        Log("Command line: ", g_commandLineText);
    }

    if (ctx.bCapture) {
        RunCaptureMode();
    } else if (ctx.bRestore) {
        RunRestoreMode(host);
    }
    if (ctx.bOpenKeys) RunOpenKeysMode(ctx);
    if (ctx.bCapture || ctx.bRestore || ctx.bOpenKeys) {
        Log("Exiting Tarnwick");
        PostCloseRequest(host);
        return;
    }
    RunLaunchPath(ctx, remainder, host);
}

DWORD WINAPI LaunchWorker(LPVOID hostWindow) {
    HWND host = static_cast<HWND>(hostWindow);
    try {
        RunLaunchSequence(host);
    } catch (...) {
        // Nothing may escape a thread entry; ending the program is still the
        // worker's last act, so the host window does not wait forever.
        PostCloseRequest(host);
    }
    return 0;
}
