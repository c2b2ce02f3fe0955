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
// What a launch of Access 2013 or later writes for its user (snapshot.h).
void AddUserPreparationEntries(RegistryKeyList& list, const std::string& officeVersion,
                               const std::string& locationKey);

void ReadEntry(RegistryEntry& entry);
void WriteBackEntry(const RegistryEntry& entry);
// What became of the snapshot file, for the launcher's log.
struct SnapshotFileResult {
    std::string path;
    bool read = false;                 // a restore opened, read and applied the file
    const char* failedCall = nullptr;  // the Windows call that failed, if one did
    unsigned long error = 0;           // and its error code
    SnapshotApplied applied;           // what a read file gave the entries
    bool foreignOwner = false;         // the file belongs to another user: ignored and kept
};

// Reads every entry; with useSnapshotFile 1 also writes the snapshot file.
SnapshotFileResult CaptureEntries(RegistryKeyList& list);
// With useSnapshotFile 1 first applies and deletes the snapshot file; then
// writes back every present entry.
SnapshotFileResult RestoreEntries(RegistryKeyList& list);

// "~ZQReg.dat" in the user's temporary folder.
std::string SnapshotFilePath();
// Writes the file under a name of its own and renames it into place only
// when every byte and the close succeeded; otherwise removes what it wrote,
// and an earlier file stays as it was.
SnapshotFileResult WriteSnapshotFile(const std::string& text);
// Applies the file to the entries and deletes it; a file that cannot be
// opened or read stays where it is.
SnapshotFileResult ReadSnapshotFile(std::vector<RegistryEntry>& entries);
