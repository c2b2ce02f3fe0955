// The watched registry values of one mode or one launch, captured before the
// registry is prepared and written back afterwards.
#pragma once

#include <string>

struct RegistryKeyList {
    int useSnapshotFile = 0;
};

// Appends the whole capture catalogue.
void BuildCaptureList(RegistryKeyList& list);
// Reads every entry; with useSnapshotFile 1 also writes the snapshot file.
void CaptureEntries(RegistryKeyList& list);
// With useSnapshotFile 1 first applies and deletes the snapshot file; then
// writes back every present entry.
void RestoreEntries(RegistryKeyList& list);
// Removes the first HKEY_CLASSES_ROOT default-value entry of the key path.
bool DropEntry(RegistryKeyList& list, const std::string& keyPath);
// The three 2007 language values, added after the catalogue.
void AddLanguageEntries2007(RegistryKeyList& list);
