// Finding the installed Access editions and choosing the one to start.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "launcher/context.h"

// Reads the default value of HKEY_CLASSES_ROOT\.mdb into strMdbDefault and logs it.
void ReadMdbAssociation(LauncherContext& ctx);
// Install folders of the full editions, from their shell open commands.
void GetFullAccessLocations(LauncherContext& ctx);
// The recorded location of the target generation's runtime, or empty.
std::string GetAccessRuntimeLocation();
// Chooses the executable: the runtime when its file exists, else the first
// full edition with a msaccess.exe, in the order 2002, 2003, 2007, 2010.
// Returns false after telling the user that none was found; the launch then
// ends with the registry untouched.
bool ChooseAccessExecutable(LauncherContext& ctx);

// Reads the command line stored in the value named by the key text (an
// "HKLM\" or "HKCU\" prefix chooses the hive) and, only then, the title from
// the "TitleBar" value of its "Run-Time Options" subkey under
// HKEY_LOCAL_MACHINE. Returns the first read's error code.
std::uint32_t ReadStoredCommandLine(const std::string& keyText, const std::string& valueNameText,
                                    std::string& commandLine, std::string& titleBar);

// The names of the subkeys; no list when the key cannot be opened. A name
// that could not be read the second time is left empty.
std::optional<std::vector<std::string>> EnumSubkeyNames(HKEY root, const std::string& keyPath);
// 1 when the file can be opened for reading, else 0.
int FileExists(const std::string& path);
// 32 or 64 for a Windows program of those widths (by its PE header), 0 for
// anything else or a file that cannot be read.
int ProgramBits(const std::string& path);
// The Common Files folder, or empty when no source gives one.
std::string GetCommonFilesDir();
