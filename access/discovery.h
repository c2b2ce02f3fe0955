// Finding the installed Access editions and choosing the one to start.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/context.h"

// Reads the default value of HKEY_CLASSES_ROOT\.mdb into strMdbDefault and logs it.
void ReadMdbAssociation(LauncherContext& ctx);
// Chooses the executable, runtime first. Returns false after the user was
// told that no usable Access exists; the launch then ends untouched.
bool ChooseAccessExecutable(LauncherContext& ctx);
// Reads the command line stored in the value named by the key text (an
// "HKLM\" or "HKCU\" prefix chooses the hive) and, only then, the title from
// the "TitleBar" value of its "Run-Time Options" subkey under
// HKEY_LOCAL_MACHINE. Returns the first read's error code.
std::uint32_t ReadStoredCommandLine(const std::string& keyText, const std::string& valueNameText,
                                    std::string& commandLine, std::string& titleBar);
// 1 when the file can be opened for reading, else 0.
int FileExists(const std::string& path);
