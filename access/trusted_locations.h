// Access trusted locations for the database's folder (2007 and later).
#pragma once

#include <string>

#include "access/generations.h"
#include "launcher/context.h"

// Makes sure the folder is a trusted location of the generation's Access:
// an existing location with the same path (ignoring case and a trailing
// backslash) is reused, otherwise one is added under a new GUID name.
// Returns 1 always.
int SetTrustedFolderLocation(const std::string& folder, int allowSubfolders, int generation);
// The database folder, and the install folder when it holds Utility.accda.
void AddTrustedLocations2007(LauncherContext& ctx);
// The database folder, with its log lines.
void AddTrustedLocation2010(LauncherContext& ctx);
// 2013 and later, before the capture: the location of the database's folder
// that the launch will mark (an existing one) or make (under a new GUID
// name), into strTrustedLocationKey; nothing for other generations or
// without a database folder.
void PlanTrustedLocationForUser(LauncherContext& ctx);
// Writes the planned location, with the log lines of 2010's.
void AddTrustedLocationForUser(const LauncherContext& ctx, const AccessGeneration& generation);
