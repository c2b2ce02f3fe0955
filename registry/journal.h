// The launch journal: the values a launch saved, kept on disk from just
// after the capture until after the restore. A launch that never reaches its
// restore (ended by force, or by the end of the Windows session) leaves it
// behind, and the values are put back from it: by the host window when the
// session ends, or by the next launch that finds no other launch running.
// The snapshot file of the capture and restore modes is a different file;
// neither mode reads or writes the journal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/snapshot.h"

// "~ZQJournal.dat" in the user's temporary folder, beside the snapshot file.
std::string JournalFilePath();

// The Access 2003 macro security "Level" that a 2003 launch writes back,
// as an entry that a journal carries beside the catalogue.
RegistryEntry MacroSecurityLevelEntry(std::uint32_t level);

// Writes the present entries in the snapshot file's enciphered form to a new
// file beside the path, flushes it, reads it back to check it, and renames
// it over the path. Returns whether the journal is in place; on failure no
// new file is left behind and an earlier journal at the path is kept.
bool WriteJournal(const std::vector<RegistryEntry>& entries, const std::string& path);

// Writes the values of the journal at the path back to the registry: the
// catalogue, the 2007 language values and the 2003 macro security level, as
// far as the journal names them. Returns whether a journal was read. The file
// stays; DeleteJournal removes it.
bool PutBackJournal(const std::string& path);

void DeleteJournal(const std::string& path);
