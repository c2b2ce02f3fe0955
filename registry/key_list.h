// The watched registry values of one mode or one launch: captured before the
// registry is prepared and written back afterwards, in memory or through the
// snapshot file.
#pragma once

#include <string>
#include <vector>

#include "registry/snapshot.h"

struct RegistryKeyList {
    std::vector<RegistryEntry> entries;
    int useSnapshotFile = 0;
};

// Appends the whole capture catalogue: the classes rows, then the machine rows.
void BuildCaptureList(RegistryKeyList& list);
void AddEntry(RegistryKeyList& list, const std::string& keyPath, RegRoot root, const std::string& valueName);
// Removes the first HKEY_CLASSES_ROOT default-value entry of the key path.
bool DropEntry(RegistryKeyList& list, const std::string& keyPath);
// The three 2007 language values, added after the catalogue.
void AddLanguageEntries2007(RegistryKeyList& list);

void ReadEntry(RegistryEntry& entry);
void WriteBackEntry(const RegistryEntry& entry);
// Reads every entry; with useSnapshotFile 1 also writes the snapshot file.
void CaptureEntries(RegistryKeyList& list);
// With useSnapshotFile 1 first applies and deletes the snapshot file; then
// writes back every present entry.
void RestoreEntries(RegistryKeyList& list);

// "~ZQReg.dat" in the user's temporary folder.
std::string SnapshotFilePath();
void WriteSnapshotFile(const std::string& text);
void ReadSnapshotFile(std::vector<RegistryEntry>& entries);
