// Starting the chosen program, recognising Access's main window, and telling
// whether any Access is running.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/context.h"

struct StartResult {
    std::uint32_t processId = 0;  // 0: nothing was started
    void* process = nullptr;      // HANDLE, owned by the caller
};

StartResult StartProgram(const std::string& path, const std::string& arguments, int showCmd,
                         const OsVersionFlags& os);
// Waits for Access's main window, then for Access to end within nWaitMs, and
// logs the outcome. pollMs is the pause between window searches.
void WatchAccess(const LauncherContext& ctx, unsigned pollMs);
// Whether a process whose main module is named MSACCESS.EXE exists.
bool IsAccessRunning();
