// Bringing the registry into the state the chosen Access generation needs.
#pragma once

#include <string>

#include "launcher/context.h"

// Settings for every generation, made before the capture and never undone.
void PrepareAccessRegistryHead(LauncherContext& ctx);
// Reads the current CurVer into strOrigCurVer and composes the registry-error question.
void PrepareAccessVersionRegistration(LauncherContext& ctx);
// The block of the chosen generation, then the common security tail.
void PrepareAccessGenerationBlock(LauncherContext& ctx);

// Makes the Access type library registration point at the installation's
// MSACC.OLB; when it does not take, offers the permissions repair.
void CheckAccessObjectLibrary(const LauncherContext& ctx, const std::string& generation, const std::string& folder);
// The registered path of the Access type library (version 9.0), or empty.
std::string ReadAccessObjectLibraryPath();
// LoadTypeLib and RegisterTypeLib of the file; callers read the registry back.
bool RegisterTypeLibraryFile(const std::string& path);
// Registers the Office object library when it is not and its file exists.
void RepairOfficeObjectLibrary(const LauncherContext& ctx, const std::string& version, const std::string& file,
                               const std::string& name);
