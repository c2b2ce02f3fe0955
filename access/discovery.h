// Finding the installed Access editions and choosing the one to start.
#pragma once

#include <string>

#include "launcher/context.h"

// Reads the default value of HKEY_CLASSES_ROOT\.mdb into strMdbDefault and logs it.
void ReadMdbAssociation(LauncherContext& ctx);
// Chooses the executable, runtime first. Returns false after the user was
// told that no usable Access exists; the launch then ends untouched.
bool ChooseAccessExecutable(LauncherContext& ctx);
// 1 when the file can be opened for reading, else 0.
int FileExists(const std::string& path);
