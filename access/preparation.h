// Bringing the registry into the state the chosen Access generation needs.
#pragma once

#include "launcher/context.h"

// Settings for every generation, made before the capture and never undone.
void PrepareAccessRegistryHead(LauncherContext& ctx);
// Reads the current CurVer into strOrigCurVer and composes the registry-error question.
void PrepareAccessVersionRegistration(LauncherContext& ctx);
// The block of the chosen generation.
void PrepareAccessGenerationBlock(LauncherContext& ctx);
// Macro security level for 2003 and "Ignore DDE Requests", after the block.
void PrepareSecurityTail(LauncherContext& ctx);
// After the restore: puts back the 2003 macro security level.
void RestoreMacroSecurityLevel(const LauncherContext& ctx);
