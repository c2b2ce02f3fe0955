// Which registry view a key is opened in. Windows Installer keeps its data,
// the key Installer under HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows\CurrentVersion" and all below it, in the
// 64-bit view on 64-bit Windows, where a 32-bit program's plain open is sent
// to Wow6432Node, in which nothing is. Under WOW64 these keys are opened,
// written, deleted and re-permissioned in the 64-bit view; every other key
// in the program's own view, the one the 32-bit Access reads. Click-to-Run
// keeps its configuration ("SOFTWARE\Microsoft\Office\ClickToRun", and
// "...\Office\15.0\ClickToRun" for Office 2013) in the 64-bit view too,
// whatever the width of the Office it installed.
#pragma once

#include <windows.h>

#include <string>

bool RunsUnderWow64();
bool IsWindowsInstallerDataPath(HKEY root, const std::string& keyPath);
bool IsClickToRunPath(HKEY root, const std::string& keyPath);
// KEY_WOW64_64KEY for these keys under WOW64, otherwise 0.
REGSAM RegistryViewFor(HKEY root, const std::string& keyPath);
