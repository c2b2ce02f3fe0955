// Saving the test prefix's registry once and putting it back before every
// scenario, with the wineserver left running.
#pragma once

#include <string>

// Saves HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE\Software to the file.
bool SaveRegistrySnapshot(const std::string& file);
// Makes the live registry equal to the saved one: extra keys and values are
// deleted, changed or missing ones written back.
bool ResetRegistryToSnapshot(const std::string& file);
// A readable dump of the same scope, for before/after comparisons.
std::string DumpRegistry();
