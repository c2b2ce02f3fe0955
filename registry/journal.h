// The launch journals: the values that launches saved, kept on disk from
// just after the capture until they are put back. Launches on one machine,
// in every session, share one preparation of the registry, so the journals
// lie where every user's launch finds them, in the folder "Tarnwick" of the
// machine's common application-data folder:
//   "~ZQJournal.dat"          the machine's values (the capture catalogue),
//   "~ZQJournal-<SID>.dat"    one user's own values (the 2007 language values,
//                             the 2003 macro security level, and what a launch
//                             of Access 2013 or later writes for its user,
//                             with the values it found missing).
// A journal is written readable by everyone and writable only by its user,
// SYSTEM and the administrators, and taken only from a file whose owner is
// the reading user, the administrators or SYSTEM: what another standard user
// wrote is never written back. A launch that never reaches its restore
// (ended by force, or by the end of the Windows session) leaves its journals
// behind, and the values are put back from them: by the host window when the
// session ends, or by the next launch that finds no other launch running.
// The snapshot file of the capture and restore modes is a different file;
// neither mode reads or writes a journal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/snapshot.h"

std::string MachineJournalPath();
std::string UserJournalPath(const std::string& userSid);

// The Access 2003 macro security "Level" that a 2003 launch writes back,
// as an entry that a journal carries beside the catalogue.
RegistryEntry MacroSecurityLevelEntry(std::uint32_t level);
// Every value a journal may carry, none of them present yet.
std::vector<RegistryEntry> JournalEntries();

// Writes the present entries in the snapshot file's enciphered form to a new
// file beside the path, flushes it, reads it back to check it, and renames
// it over the path (making the folder when missing); with replace false only
// where no journal is yet, so that of two launches saving at once the first
// wins. Returns whether the journal is in place; on failure no new file is
// left behind and an earlier journal at the path is kept.
bool WriteJournal(const std::vector<RegistryEntry>& entries, const std::string& path, bool replace = true);

enum class JournalRead {
    Read,       // the entries hold what the journal says
    Missing,    // no journal
    Foreign,    // another standard user's file: not taken, and kept
    Unreadable  // there, but could not be read
};
// Fills the entries from the journal (entries it does not name keep their
// state) when it is a file of this user's, the administrators' or SYSTEM's.
JournalRead ReadJournal(const std::string& path, std::vector<RegistryEntry>& entries);

// Writes the values of the journal at the path back to the registry, as far
// as the journal names them. Returns whether a journal was read. The file
// stays; DeleteJournal removes it.
bool PutBackJournal(const std::string& path);

// Deletes the journal when it is one this launch may take values from:
// another user's is left for that user's launches.
void DeleteJournal(const std::string& path);
