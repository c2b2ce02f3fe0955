// Which registry view a key is opened in. Windows Installer keeps its data,
// the key Installer under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion" and all below it, in the
// 64-bit view on 64-bit Windows, where a 32-bit program's plain open is sent
// to Wow6432Node, in which nothing is. Under WOW64 these keys are opened,
// written, deleted and re-permissioned in the 64-bit view; every other key
// in the program's own view, the one the 32-bit Access reads.
#pragma once

#include <windows.h>

#include <string>

bool RunsUnderWow64();
bool IsWindowsInstallerDataPath(HKEY root, const std::string& keyPath);
// KEY_WOW64_64KEY for Windows Installer's data under WOW64, otherwise 0.
REGSAM RegistryViewFor(HKEY root, const std::string& keyPath);
