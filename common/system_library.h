// Libraries come from the Windows system folder only. The launcher is often
// started from a shared network folder that its users can write to; a DLL
// placed beside it must never be loaded in its place.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <shellapi.h>

#include "common/handles.h"

// Limits the DLL search of this process to the system folder. Called first
// thing at start.
void RestrictLibrarySearch();
// Loads a library from the system folder (or the side-by-side assembly the
// program's manifest names), never from beside the program.
UniqueModule LoadSystemLibrary(const char* name);
// A function of a loaded library with its type; null when the library or
// the function is missing, so that a caller can tell an older Windows.
template <typename Function>
Function SystemFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Loads what every launch needs from the shell, shell32 and the COM library
// its start of Access loads, and keeps them for the life of the process:
// the host window calls it while its start-up timer runs and the process
// has nothing else to do.
void LoadLaunchLibraries();

// The shell's functions, taken at run time from the system folder's shell32
// rather than through the import table, whose search starts beside the program.
BOOL ShellExecuteExSystem(SHELLEXECUTEINFOA* info);
// SHGetFolderPathA into a buffer of MAX_PATH; false when the folder is not known.
bool ShellFolderPath(int csidl, char* folder);
// SHGetSpecialFolderPathA without creating the folder.
bool ShellSpecialFolderPath(int csidl, char* folder);

// The process status functions, from the system folder's psapi.dll: it is
// not one of the libraries Windows XP and Vista always take from the system
// folder, so importing it would load a psapi.dll placed beside the program.
BOOL EnumProcessesSystem(DWORD* ids, DWORD size, DWORD* returned);
BOOL EnumProcessModulesSystem(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed);
DWORD GetModuleBaseNameSystem(HANDLE process, HMODULE module, char* name, DWORD size);

// COM and Automation, loaded the same way: COM with every launch (above),
// Automation only when a launch needs it: most launches find their
// registrations in place and never do.
HRESULT CreateGuidSystem(GUID* guid);
int StringFromGuidSystem(const GUID& guid, wchar_t* text, int size);
HRESULT LoadTypeLibSystem(const wchar_t* path, ITypeLib** library);
HRESULT RegisterTypeLibSystem(ITypeLib* library, const wchar_t* path);
