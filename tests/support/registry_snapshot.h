// Saving the test prefix's registry once and putting it back before every
// scenario, with the wineserver left running. The registry is read as the
// wineserver saves it (RegSaveKey: one call for a whole tree), not walked
// key by key.
#pragma once

#include <string>

// Saves HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE\Software to the file.
bool SaveRegistrySnapshot(const std::string& file);
// Makes the live registry equal to the saved one: extra keys and values are
// deleted, changed or missing ones written back.
bool ResetRegistryToSnapshot(const std::string& file);
// A readable dump of the same scope, for before/after comparisons: every key
// of both registry views, a symbolic link shown as the key it leads to.
std::string DumpRegistry();
// The same dump from a walk of the registry key by key: slower by far, the
// reference DumpRegistry() is checked against.
std::string DumpRegistryKeyByKey();
