#include "launcher/command_line_steps.h"

#include <windows.h>
#include <shlobj.h>

#include "access/discovery.h"
#include "access/text_paths.h"
#include "common/log.h"
#include "common/system_library.h"

void ApplyStoredCommandLine(LauncherContext& ctx, const std::string& remainder) {
    std::string stored;
    if (ReadStoredCommandLine(ctx.strCmdKey, ctx.strCmdValueName, stored, ctx.strTitleBar) == 0) {
        Log("Have cmdline from registry: ", stored);
        Log("ParsedCmdLine: ", remainder);
        ctx.strAccessCmdLine = stored + " " + remainder;
    } else {
        ctx.strAccessCmdLine = remainder;
    }
}

void ApplyWindowsProfile(LauncherContext& ctx) {
    Log("******* bWindowsProfile = TRUE");
    char folder[MAX_PATH] = {};
    const bool found = ShellFolderPath(CSIDL_LOCAL_APPDATA, folder);
    const std::string rewritten = RewriteCommandLineForProfile(ctx.strAccessCmdLine, found ? folder : "Failed");
    if (rewritten.empty()) return;  // no database named: the command line stays as it is
    ctx.strAccessCmdLine = rewritten;
    Log(rewritten);
    Log("strAccessCmdLine changed to: ", rewritten);
}
