// The launch-path steps of the command line: the stored command line named by
// -CMD, and the rewrite for the user's profile.
#pragma once

#include <string>

#include "launcher/context.h"

// Sets strAccessCmdLine (and strTitleBar) from the stored command line and the remainder.
void ApplyStoredCommandLine(LauncherContext& ctx, const std::string& remainder);
// -WINDOWSPROFILE: opens the database from the local application-data folder.
void ApplyWindowsProfile(LauncherContext& ctx);
