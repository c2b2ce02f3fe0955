// Pointing machine-wide component and file-type registrations at the chosen
// installation.
#pragma once

#include <string>

// Re-points the COM servers of the Access 2007/2010 components that are
// already registered; missing keys are not created.
void RepairAccessComRegistrations(const std::string& installFolder, const std::string& sharedFolder);
// The HTML print and edit commands, where their keys exist, at msohtmed.exe.
void SetHtmlEditCommands(const std::string& installFolder);
// The installer component data of ACECORE.DLL (OFFICE12 for 2007, OFFICE14 for 2010).
void RegisterAceCorePath(const std::string& commonFilesDir, int generation);
