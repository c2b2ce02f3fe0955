// Access trusted locations for the database's folder (2007 and 2010).
#pragma once

#include <string>

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
