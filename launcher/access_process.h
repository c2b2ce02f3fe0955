// Starting the chosen program, recognising Access's main window, and telling
// whether any Access is running.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/handles.h"
#include "launcher/context.h"

struct StartResult {
    std::uint32_t processId = 0;  // 0: nothing was started
    UniqueHandle process;
};

// Vista and later: through the shell; earlier: CreateProcessA with the path quoted.
StartResult StartProgram(const std::string& path, const std::string& arguments, int showCmd,
                         const OsVersionFlags& os);
// The top-level, unowned "OMain" window of the process, or null.
HWND FindAccessMainWindow(DWORD processId);
// What the launch does at the turns of the watch; either may be empty.
struct WatchHooks {
    std::function<void()> windowSearchEnded;        // the search for the main window is over, found or not
    std::function<void(bool)> waitingWithoutLimit;  // true before an exit wait without limit, false after it
};
// Waits for Access's main window (30 polls below 2003, else 60), then for
// Access to end within nWaitMs (0: no limit), and logs the outcome. pollMs is
// the pause between window searches. Returns how many searches were made.
int WatchAccess(const LauncherContext& ctx, unsigned pollMs, const WatchHooks& hooks = {});
// Whether a process whose main module is named exactly MSACCESS.EXE exists.
bool IsAccessRunning();
