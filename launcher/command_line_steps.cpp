#include "launcher/command_line_steps.h"

// The stored command line is not read yet: Access gets the remainder.
void ApplyStoredCommandLine(LauncherContext& ctx, const std::string& remainder) { ctx.strAccessCmdLine = remainder; }
void ApplyWindowsProfile(LauncherContext&) {}
