#include "launcher/access_process.h"

#include "launcher/log.h"

// Starting and watching Access are not built yet: nothing is started, and the
// watch reports what it reports for a program that did not start.
StartResult StartProgram(const std::string&, const std::string&, int, const OsVersionFlags&) { return {}; }

void WatchAccess(const LauncherContext& ctx, unsigned) {
    if (ctx.dwAccessProcessId == 0) Log("Timed Out - main Access window not found!");
}

bool IsAccessRunning() { return false; }
