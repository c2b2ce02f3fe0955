// What the permissions tool repairs: the registry keys the launcher must be
// able to write, taken from the capture catalogue, and the ACL engine command
// for each.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The classes-phase work list of the given HKEY_CLASSES_ROOT keys: sorted
// without regard to case, upper-cased, and shortened to the key that the
// launcher re-creates (its first part, or the first two for CLSID, TYPELIB,
// MIME and INTERFACE). A shortened key is dropped when it equals the entry
// just before it; a one-part key is always kept, repeats included.
std::vector<std::string> BuildClassesWorkList(std::vector<std::string> keys);
// The same for the classes table of the capture catalogue.
std::vector<std::string> BuildClassesWorkList();
// The machine table's keys below HKEY_LOCAL_MACHINE, sorted and upper-cased,
// each kept whole.
std::vector<std::string> BuildMachineWorkList();

enum class RepairRoot { Classes, Machine };

// The engine command that clears a key's own access and audit entries and
// gives the local Users group full control. Keys of the classes root name
// the machine-wide classes store, never a user's own classes.
std::string RepermissionCommand(RepairRoot root, std::string_view key);

// The tool's whole command-line text asks for no progress display.
bool AsksForNoProgress(std::string_view commandText);
